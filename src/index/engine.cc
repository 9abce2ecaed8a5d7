#include "index/engine.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "index/strip_rule.h"

namespace kavrix {
namespace {

// One thread for the life of a run, doing one job at a time.
class Worker {
 public:
  Worker() : thread_([this] { serve(); }) {}
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  ~Worker() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  /// Starts `job`. REQUIRES: the last job is done (wait()).
  void start(std::function<void()> job) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      job_ = std::move(job);
    }
    changed_.notify_all();
  }

  /// Waits until the job started last is done.
  void wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !job_; });
  }

 private:
  void serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return job_ || stopping_; });
      if (!job_) return;
      lock.unlock();
      job_();
      lock.lock();
      job_ = nullptr;
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the rest is made
};

// The strips of A, T, S and the output that one strip of the run needs,
// and the marks of the cells computed, which the statistics take.
struct StripSet {
  Strip a, t, s, out;
  std::vector<unsigned char> marks;
};

bool allocate_set(StripSet& set, const EngineShape& shape) {
  Strip* strips[4] = {&set.a, &set.t, &set.s, &set.out};
  for (int k = 0; k < 4; ++k) {
    if (!allocate_strip(*strips[k], shape.width, shape.strip_rows, shape.blocks[k][0],
                        shape.blocks[k][1])) {
      return false;
    }
  }
  return true;
}

// Rows computed at a time by one thread: a few hundred thousand cells of
// a raster some thousands wide, small beside a strip.
constexpr int kRunRows = 8;

int rows_of(const EngineShape& shape, int strip) {
  return std::min(shape.strip_rows, shape.height - strip * shape.strip_rows);
}

void report(EngineIo& io, const EngineShape& shape, int strip) {
  if (io.progress) io.progress(static_cast<double>(strip * shape.strip_rows + rows_of(shape, strip)) / shape.height);
}

Status no_memory(const EngineShape& shape, int status) {
  return failure(status, "not enough memory for strips of %d rows of %d values\n",
                 shape.strip_rows, shape.width);
}

// One thread: read, compute and write each strip in turn.
Status run_alone(const ParameterTable& table, const EngineShape& shape, EngineIo& io,
                 RunningStats& stats, int no_memory_status) {
  StripSet set;
  if (!allocate_set(set, shape)) return no_memory(shape, no_memory_status);
  Status status;
  const int strips = (shape.height + shape.strip_rows - 1) / shape.strip_rows;
  for (int i = 0; status.ok() && i < strips; ++i) {
    const int rows = rows_of(shape, i);
    status = io.read(i * shape.strip_rows, rows, set.a, set.t, set.s);
    if (!status.ok()) break;
    compute_index_strip(table, NoDataRule::kNaN, set.a, set.t, set.s, set.out, shape.width, rows,
                        stats);
    status = io.write(i * shape.strip_rows, rows, set.out);
    if (status.ok()) report(io, shape, i);
  }
  return status;
}

// Several threads: while the crew and this thread compute strip i, split
// by rows, and mark its computed cells, the reader reads strip i + 1 and
// the writer hands the marked cells of strip i - 1 to the statistics, in
// the order of the rows, and writes it.
Status run_crew(const ParameterTable& table, const EngineShape& shape, int threads,
                EngineIo& io, RunningStats& stats, int no_memory_status) {
  StripSet sets[2];
  if (!allocate_set(sets[0], shape) || !allocate_set(sets[1], shape)) {
    return no_memory(shape, no_memory_status);
  }
  const std::size_t cells = static_cast<std::size_t>(shape.width) *
                            static_cast<std::size_t>(shape.strip_rows);
  for (StripSet& set : sets) set.marks.resize(cells);  // a byte a cell: an eighth of a strip
  Worker reader, writer;
  std::vector<std::unique_ptr<Worker>> crew;
  for (int k = 1; k < threads; ++k) crew.push_back(std::make_unique<Worker>());
  // The cell rule hands its values to statistics that admit none: a
  // threshold of +infinity ends stats_add at its first test, without a
  // write, so the threads may share it.
  RunningStats none;
  stats_reset(none, std::numeric_limits<double>::infinity());
  const int strips = (shape.height + shape.strip_rows - 1) / shape.strip_rows;
  Status read = io.read(0, rows_of(shape, 0), sets[0].a, sets[0].t, sets[0].s);
  Status written;
  for (int i = 0; read.ok() && written.ok() && i < strips; ++i) {
    StripSet& now = sets[i % 2];
    StripSet& other = sets[(i + 1) % 2];
    // The rows of strip i go in small runs to whichever thread is free:
    // the crew, this thread, and the reader and the writer once their
    // strips are done, so that no core idles while one thread is behind.
    // A strip of few rows goes in runs of one row, so that every thread
    // takes some.
    const int rows = rows_of(shape, i);
    const int run_rows = std::clamp(rows / (2 * (threads + 2)), 1, kRunRows);
    const int runs = (rows + run_rows - 1) / run_rows;
    std::atomic<int> next{0};
    const auto compute_runs = [&, rows, runs, run_rows] {
      for (int run; (run = next.fetch_add(1, std::memory_order_relaxed)) < runs;) {
        const int begin = run * run_rows, end = std::min(rows, begin + run_rows);
        compute_index_rows(table, NoDataRule::kNaN, now.a, now.t, now.s, now.out, shape.width,
                           begin, end, none, now.marks.data());
      }
    };
    reader.start([&, i] {
      if (i + 1 < strips) {
        read = io.read((i + 1) * shape.strip_rows, rows_of(shape, i + 1), other.a, other.t, other.s);
      }
      compute_runs();
    });
    writer.start([&, i] {
      if (i > 0) {
        add_marked_statistics(other.out, other.marks.data(), shape.width, rows_of(shape, i - 1), stats);
        written = io.write((i - 1) * shape.strip_rows, rows_of(shape, i - 1), other.out);
        if (written.ok()) report(io, shape, i - 1);
      }
      compute_runs();
    });
    for (const auto& member : crew) member->start(compute_runs);
    compute_runs();
    for (const auto& member : crew) member->wait();
    reader.wait();
    writer.wait();
  }
  if (read.ok() && written.ok()) {
    const StripSet& last = sets[(strips - 1) % 2];
    add_marked_statistics(last.out, last.marks.data(), shape.width, rows_of(shape, strips - 1), stats);
    written = io.write((strips - 1) * shape.strip_rows, rows_of(shape, strips - 1), last.out);
    if (written.ok()) report(io, shape, strips - 1);
  }
  return written.ok() ? read : written;
}

// Threads side by side over concurrent io: each takes the next strip,
// reads, computes and writes it in strips of its own, with no hand-off.
Status run_side_by_side(const ParameterTable& table, const EngineShape& shape, int threads,
                        EngineIo& io, int no_memory_status) {
  const int strips = (shape.height + shape.strip_rows - 1) / shape.strip_rows;
  std::atomic<int> next{0};
  std::atomic<bool> stopping{false};
  std::mutex mutex;
  Status failed;
  int failed_strip = std::numeric_limits<int>::max();
  const auto fail = [&](int strip, Status status) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (strip < failed_strip) failed_strip = strip, failed = std::move(status);
    stopping = true;
  };
  const auto work = [&] {
    StripSet set;
    if (!allocate_set(set, shape)) return fail(-1, no_memory(shape, no_memory_status));
    RunningStats none;  // admits no value: see run_crew
    stats_reset(none, std::numeric_limits<double>::infinity());
    for (int i; !stopping && (i = next.fetch_add(1)) < strips;) {
      const int rows = rows_of(shape, i);
      Status status = io.read(i * shape.strip_rows, rows, set.a, set.t, set.s);
      if (status.ok()) {
        compute_index_strip(table, NoDataRule::kNaN, set.a, set.t, set.s, set.out, shape.width,
                            rows, none);
        status = io.write(i * shape.strip_rows, rows, set.out);
      }
      if (!status.ok()) return fail(i, std::move(status));
    }
  };
  std::vector<std::thread> crew;
  try {
    for (int k = 1; k < threads; ++k) crew.emplace_back(work);
  } catch (const std::system_error&) {
    // Fewer threads than asked: those started and this one do the strips.
  }
  work();
  for (std::thread& member : crew) member.join();
  return failed;
}

}  // namespace

int usable_threads() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

Status run_engine(const ParameterTable& table, const EngineShape& shape, int threads,
                  EngineIo& io, RunningStats& stats, int no_memory_status) {
  if (shape.height <= 0) return {};
  if (threads > 1 && io.concurrent) {
    return run_side_by_side(table, shape, threads, io, no_memory_status);
  }
  if (threads > 1) {
    try {
      return run_crew(table, shape, threads, io, stats, no_memory_status);
    } catch (const std::system_error&) {
      // Threads that cannot be started: the run goes on with this one,
      // which gives the same cells. Nothing was computed yet: a crew is
      // started before its first strip.
    }
  }
  return run_alone(table, shape, io, stats, no_memory_status);
}

}  // namespace kavrix

#include "gis/vrt.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "base/xml_text.h"
#include "grid/grid_size.h"

namespace kavrix {
namespace {

namespace fs = std::filesystem;

// The absolute folder that holds `file`, with links and dot segments
// resolved as far as the folders exist.
fs::path folder_of(const std::string& file) {
  std::error_code error;
  fs::path folder = fs::absolute(fs::path(file), error).parent_path();
  fs::path resolved = fs::weakly_canonical(folder, error);
  return error ? folder.lexically_normal() : resolved;
}

// A number with enough digits to be read back as the same double.
std::string exact(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string source_filename(const VrtSource& source) {
  return std::string("<SourceFilename relativeToVRT=\"") +
         (source.relative_to_vrt ? "1" : "0") + "\">" +
         xml_text(source.path).text + "</SourceFilename>";
}

}  // namespace

VrtSource vrt_source_for(const std::string& grid, const std::string& vrt) {
  const fs::path grid_path = folder_of(grid) / fs::path(grid).filename();
  if (!vrt.empty()) {
    fs::path relative = grid_path.lexically_relative(folder_of(vrt));
    if (!relative.empty()) return {relative.string(), true};
  }
  return {grid_path.string(), false};
}

Status check_vrt_header(const GridHeader& h, const std::string& name) {
  if (!whole_in_range(h.ncols, 1, 2147483647.0) ||
      !whole_in_range(h.nrows, 1, 2147483647.0)) {
    return invalid_grid_size(name);
  }
  if (!(h.cellsize > 0) || !std::isfinite(h.cellsize) ||
      !std::isfinite(h.xll) || !std::isfinite(h.yll)) {
    return failure(kVrtUnusableHeader,
                   "invalid cellsize or lower-left corner in %s\n",
                   name.c_str());
  }
  // The path goes into the VRT as XML text; a character replaced there
  // would name another file.
  if (!xml_text(vrt_source_for(name, "").path).exact) {
    return failure(kVrtUsage,
                   "%s cannot be named in a VRT: its path holds a control "
                   "character or is not UTF-8\n",
                   name.c_str());
  }
  return {};
}

std::string make_vrt(const GridHeader& h, GridFormat format,
                     const VrtSource& source) {
  const auto ncols = static_cast<long long>(h.ncols);
  const std::string cols = std::to_string(ncols);
  const std::string rows = std::to_string(static_cast<long long>(h.nrows));
  // The first row is the northernmost: the origin is the upper-left corner.
  const double top = h.yll + h.nrows * h.cellsize;

  std::string vrt = "<VRTDataset rasterXSize=\"" + cols +
                    "\" rasterYSize=\"" + rows + "\">\n";
  vrt += "  <GeoTransform>" + exact(h.xll) + ", " + exact(h.cellsize) +
         ", 0, " + exact(top) + ", 0, " + exact(-h.cellsize) +
         "</GeoTransform>\n";
  vrt += std::string("  <VRTRasterBand dataType=\"") +
         (format == GridFormat::binary_single ? "Float32" : "Float64") +
         "\" band=\"1\"" +
         (format == GridFormat::text ? "" : " subClass=\"VRTRawRasterBand\"") + ">\n";
  vrt += "    <NoDataValue>" + exact(h.nodata_value) + "</NoDataValue>\n";
  if (format == GridFormat::text) {
    // A raw band cannot parse text: GDAL's own ASCII grid reader does, and
    // the geotransform above replaces the placement it reads, which it
    // gets wrong for the keywords xll and yll. Float64 keeps every digit.
    vrt += "    <SimpleSource>\n      " + source_filename(source) + "\n";
    vrt += "      <OpenOptions><OOI key=\"DATATYPE\">Float64</OOI>"
           "</OpenOptions>\n";
    vrt += "      <SourceBand>1</SourceBand>\n";
    const std::string rect = "xOff=\"0\" yOff=\"0\" xSize=\"" + cols +
                             "\" ySize=\"" + rows + "\"/>\n";
    vrt += "      <SrcRect " + rect + "      <DstRect " + rect;
    vrt += "    </SimpleSource>\n";
  } else {
    const auto bytes = static_cast<long long>(value_bytes(format));
    vrt += "    " + source_filename(source) + "\n";
    vrt += "    <ImageOffset>" + std::to_string(kHeaderFields * bytes) +
           "</ImageOffset>\n";
    vrt += "    <PixelOffset>" + std::to_string(bytes) + "</PixelOffset>\n";
    vrt += "    <LineOffset>" + std::to_string(ncols * bytes) +
           "</LineOffset>\n";
    vrt += "    <ByteOrder>LSB</ByteOrder>\n";
  }
  vrt += "  </VRTRasterBand>\n</VRTDataset>\n";
  return vrt;
}

}  // namespace kavrix

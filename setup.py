"""The module kavrix._kavrix for pip: the package's binding and the C++
sources of the engine it runs, as python/CMakeLists.txt builds it."""

import os
import platform

from pybind11.setup_helpers import Pybind11Extension, build_ext
from setuptools import setup

# pip's objects and metadata go to a folder of their own, apart from CMake's
# build/ and the package's sources.
work = "build-pip"
os.makedirs(work, exist_ok=True)

engine = [
    "src/base/status.cc",
    "src/grid/strip.cc",
    "src/index/engine.cc",
    "src/index/running_stats.cc",
    "src/index/strip_rule.cc",
    "src/number/vector_math.cc",
]

# The vector tan and log, each width compiled for its extensions alone and
# called only where the processor has them, and the cell rule, whose first
# pass the compiler takes in lanes where it may assume that nothing traps:
# as kavrix_add_vector_lanes in CMakeLists.txt has them.
lanes = {
    "src/number/vector_math_avx2.cc": ["-mavx2", "-mfma"],
    "src/number/vector_math_avx512.cc": ["-mavx512f", "-mavx512dq", "-mavx2", "-mfma"],
} if platform.machine() in ("x86_64", "AMD64") else {}
own_flags = {"src/index/cell_rule.cc": ["-fno-trapping-math"], **lanes}


class BuildWithLanes(build_ext):
    def build_extension(self, ext):
        for source, flags in own_flags.items():
            ext.extra_objects += self.compiler.compile(
                [source], output_dir=self.build_temp, include_dirs=ext.include_dirs,
                macros=ext.define_macros, extra_postargs=ext.extra_compile_args + flags)
        super().build_extension(ext)


extension = Pybind11Extension(
    "kavrix._kavrix",
    ["python/kavrix/_kavrix.cc", *engine],
    include_dirs=["src"],
    cxx_std=20,
    # The cell rule fixes the order of every floating-point operation: a
    # fused multiply-add would change the last bit of some results.
    extra_compile_args=["-ffp-contract=off", "-O3"],
    define_macros=[("KAVRIX_VECTOR_LANES", None)] if lanes else [],
)

setup(ext_modules=[extension], cmdclass={"build_ext": BuildWithLanes},
      options={"build": {"build_base": work}, "egg_info": {"egg_base": work}})

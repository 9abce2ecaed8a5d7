"""The module kavrix._kavrix for pip: the package's binding and the C++
sources of the engine it runs, as python/CMakeLists.txt builds it."""

import os

from pybind11.setup_helpers import Pybind11Extension
from setuptools import setup

# pip's objects and metadata go to a folder of their own, apart from CMake's
# build/ and the package's sources.
work = "build-pip"
os.makedirs(work, exist_ok=True)

engine = [
    "src/base/status.cc",
    "src/grid/strip.cc",
    "src/index/cell_rule.cc",
    "src/index/engine.cc",
    "src/index/running_stats.cc",
    "src/index/strip_rule.cc",
]

extension = Pybind11Extension(
    "kavrix._kavrix",
    ["python/kavrix/_kavrix.cc", *engine],
    include_dirs=["src"],
    cxx_std=20,
    # The cell rule fixes the order of every floating-point operation: a
    # fused multiply-add would change the last bit of some results.
    extra_compile_args=["-ffp-contract=off", "-O3"],
)

setup(ext_modules=[extension],
      options={"build": {"build_base": work}, "egg_info": {"egg_base": work}})

"""Builds tgr's extension module with CMake, from the source tree this
folder lies in, and puts it into the package (pyproject.toml has the rest)."""

import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent


def project_version() -> str:
    """The version of every program and package: project() in CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"project\(\S+ VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    """Builds the module's CMake target and copies it where setuptools wants it."""

    def build_extension(self, ext: Extension) -> None:
        build = Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DTELEGRAM_PYTHON=ON", "-DTELEGRAM_BUILD_TESTS=OFF",
                     f"-DPython_EXECUTABLE={sys.executable}"]
        subprocess.run(configure, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", str(build), "--target", "tgr_python", "--parallel"], check=True)
        built = next((build / "python" / "tgr").glob("_tgr*"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=project_version(),
    ext_modules=[Extension("tgr._tgr", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)

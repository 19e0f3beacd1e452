"""Builds the package's compiled part and records where the installed
library is, so that an installed package finds it without VEXA_LIBRARY."""
import os
import subprocess

from setuptools import Extension, setup
from setuptools.command.build_py import build_py


def _library_dir():
    try:
        found = subprocess.run(["pkg-config", "--variable=libdir", "vexaxd_p"],
                               capture_output=True, text=True, check=False)
    except OSError:
        return None
    return found.stdout.strip() if found.returncode == 0 and found.stdout.strip() else None


class BuildPy(build_py):
    def run(self):
        super().run()
        library_dir = os.environ.get("VEXA_LIBRARY_DIR") or _library_dir()
        if library_dir:
            target = os.path.join(self.build_lib, "vexa", "_installed.py")
            with open(target, "w") as out:
                out.write("# Written when the package was built: where pkg-config found libvexaxd_p.\n")
                out.write(f"LIBRARY_DIR = {library_dir!r}\n")


setup(
    ext_modules=[Extension("vexa._blocks", ["vexa/_blocks.c"], extra_compile_args=["-Wall", "-Wextra"])],
    cmdclass={"build_py": BuildPy},
)

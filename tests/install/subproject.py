"""The project configures and compiles as a subproject of another CMake project.

An outer project adds this source tree with add_subdirectory(); the header
root and the resources must then be found from this project's own folder,
not from the outer one. Configuring proves the resources are found (the ui
folder stops with an error otherwise); compiling one source that includes a
header by its path from the project root proves the header root.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

parser = argparse.ArgumentParser()
parser.add_argument("--source-dir", required=True)
args = parser.parse_args()

root = tempfile.mkdtemp(prefix="aerlume-subproject-")
try:
    outer = os.path.join(root, "outer")
    os.mkdir(outer)
    with open(os.path.join(outer, "CMakeLists.txt"), "w") as f:
        f.write("cmake_minimum_required(VERSION 3.25)\n"
                "project(Outer LANGUAGES CXX)\n"
                f'add_subdirectory("{args.source_dir}" aerlume)\n')
    build = os.path.join(root, "build")
    configure = subprocess.run(["cmake", "-S", outer, "-B", build, "-G", "Ninja", "-DAERLUME_BENCH=OFF"],
                               capture_output=True, text=True)
    if configure.returncode != 0:
        print(f"FAIL: configuring inside an outer project failed:\n{configure.stdout}{configure.stderr}")
        sys.exit(1)
    target = "aerlume/settings/CMakeFiles/aerlume_settings.dir/Settings.cpp.o"
    compiled = subprocess.run(["ninja", "-C", build, "-j2", target], capture_output=True, text=True)
    if compiled.returncode != 0:
        print(f"FAIL: {target} did not compile:\n{compiled.stdout}{compiled.stderr}")
        sys.exit(1)
    print("PASS")
finally:
    shutil.rmtree(root, ignore_errors=True)

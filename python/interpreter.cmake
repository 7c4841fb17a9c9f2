# The Python the module is built for and its tests and benchmark run with:
# Debian's interpreter (a python3 of pyenv or a virtual environment earlier
# on PATH would give another ABI and none of Debian's packages).
# -DPython3_EXECUTABLE=... chooses another.
if(EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "Python interpreter the module is built for")
endif()
set(PYTHON_EXECUTABLE ${Python3_EXECUTABLE} CACHE FILEPATH "Python interpreter the module is built for")
find_package(Python3 3.9 REQUIRED COMPONENTS Interpreter Development.Module)

# Sets the RUNPATH of the ELF file CORVANE_ELF to CORVANE_RUNPATH, within the
# room its present one takes in the file; nothing happens when it is that
# already. For the program, which is linked with room for the longer of its
# two search paths (see proxy/CMakeLists.txt):
#   cmake -DCORVANE_ELF=FILE -DCORVANE_RUNPATH=PATH -P SetRunpath.cmake
file(READ_ELF "${CORVANE_ELF}" RUNPATH corvane_present CAPTURE_ERROR corvane_error)
if(corvane_error)
  message(FATAL_ERROR "${CORVANE_ELF}: ${corvane_error}")
endif()
if(NOT corvane_present STREQUAL CORVANE_RUNPATH)
  file(RPATH_CHANGE FILE "${CORVANE_ELF}"
    OLD_RPATH "${corvane_present}" NEW_RPATH "${CORVANE_RUNPATH}")
endif()

# The fault report: the handler for fatal signals, the report text, the
# launchers of its two helper programs, and the line helper itself, which
# names the faulting line from the program's debug information after the
# fault (the message box helper is in ui/faultbox). Included from
# log/CMakeLists.txt.

# GCC ships libbacktrace, which reads DWARF line tables, separate debug files
# included. It lives in the compiler's private folders.
execute_process(
  COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libbacktrace.a
  OUTPUT_VARIABLE corvane_libbacktrace OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(
  COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=include
  OUTPUT_VARIABLE corvane_compiler_include OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT IS_ABSOLUTE "${corvane_libbacktrace}" OR NOT EXISTS "${corvane_libbacktrace}"
   OR NOT EXISTS "${corvane_compiler_include}/backtrace.h")
  # Another compiler (clang) does not know GCC's folders, or finds GCC's
  # library but has its own include folder: ask GCC itself for both.
  find_program(corvane_gcc NAMES g++ gcc REQUIRED)
  execute_process(
    COMMAND ${corvane_gcc} -print-file-name=libbacktrace.a
    OUTPUT_VARIABLE corvane_libbacktrace OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(
    COMMAND ${corvane_gcc} -print-file-name=include
    OUTPUT_VARIABLE corvane_compiler_include OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
if(NOT EXISTS "${corvane_libbacktrace}" OR NOT EXISTS "${corvane_compiler_include}/backtrace.h")
  message(FATAL_ERROR "libbacktrace (GCC's libbacktrace.a and backtrace.h) not found")
endif()

# What both sides share: the report's text and the position it names.
add_library(corvane_fault_text STATIC
  ${CMAKE_CURRENT_LIST_DIR}/FaultCodes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FaultText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SourcePosition.cpp
)
target_include_directories(corvane_fault_text PUBLIC ${PROJECT_SOURCE_DIR})

# In the program: the handler and what it starts. No debug information is
# read here.
add_library(corvane_fault STATIC
  ${CMAKE_CURRENT_LIST_DIR}/FaultAddresses.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FaultBoxLauncher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FaultLineLookup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FaultReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HelperProgram.cpp
)
target_include_directories(corvane_fault PUBLIC ${PROJECT_SOURCE_DIR})
# Frames whose source lies under this folder are the system's own.
target_compile_definitions(corvane_fault PRIVATE CORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(corvane_fault PUBLIC corvane_fault_text PRIVATE corvane_write_all ${CMAKE_DL_LIBS}
  Threads::Threads)

# The line helper, started by a faulted program (log/FaultLineLookup.h).
add_executable(corvane-faultline
  ${CMAKE_CURRENT_LIST_DIR}/FaultLineMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LineLocator.cpp
)
# The program looks for it beside itself, as for the box helper.
set_target_properties(corvane-faultline PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/proxy)
# -idirafter, not -I: the compiler's private folder must not shadow the C++
# library's wrappers of the C headers.
target_compile_options(corvane-faultline PRIVATE -idirafter ${corvane_compiler_include})
target_link_libraries(corvane-faultline PRIVATE corvane_fault_text corvane_write_all ${corvane_libbacktrace})
# Whatever registers the report needs the helper built.
add_dependencies(corvane_fault corvane-faultline)

# The report names source lines only where the code carries debug
# information.
if(CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel)$")
  message(WARNING "${CMAKE_BUILD_TYPE} builds carry no debug information: "
                  "fault reports will name line 0")
endif()

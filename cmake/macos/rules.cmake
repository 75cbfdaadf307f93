# How CMake calls Zig, read after its rules for Apple's compilers. Zig's
# linker takes no -v: only the compiler says what it does. Zig's own ar and
# ranlib know Mach-O; CMake takes one program for each, so they are called
# through zig.
foreach(lang C CXX)
  set(CMAKE_${lang}_VERBOSE_FLAG -v)
  set(CMAKE_${lang}_ARCHIVE_CREATE "\"${ZIG}\" ar qc <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "\"${ZIG}\" ar q <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "\"${ZIG}\" ranlib <TARGET>")
endforeach()

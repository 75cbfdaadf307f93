# What an install puts where: on Windows one folder with the program and its
# read-mes, elsewhere bin/, the manual pages in English and Japanese and the
# change log.
if(WIN32)
  install(TARGETS isbn10 RUNTIME DESTINATION .)
  # CR LF, so that Notepad of every Windows version shows the lines.
  foreach(readme README.txt README.ja.txt)
    configure_file(doc/windows/${readme} ${readme} @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${PROJECT_BINARY_DIR}/${readme} DESTINATION .)
  endforeach()
  return()
endif()

include(GNUInstallDirs)
# The Debian package and an install get the program as Debian links its own;
# the tarball gets the static one, which only it asks for.
install(TARGETS isbn10 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT dynamic)
if(TARGET isbn10_static)
  install(TARGETS isbn10_static RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT static
          EXCLUDE_FROM_ALL)
endif()
# Compressed as Debian has them, without the name and time that gzip would
# otherwise record. source | installed as
set(compressed
    doc/isbn10.1 ${CMAKE_INSTALL_MANDIR}/man1/isbn10.1.gz
    doc/ja/isbn10.1 ${CMAKE_INSTALL_MANDIR}/ja/man1/isbn10.1.gz
    doc/changelog ${CMAKE_INSTALL_DOCDIR}/changelog.gz)
while(compressed)
  list(POP_FRONT compressed source installed)
  string(MAKE_C_IDENTIFIER ${source} name)
  set(gz ${PROJECT_BINARY_DIR}/${name}.gz)
  add_custom_command(OUTPUT ${gz} COMMAND sh -c "gzip -9n <\"$0\" >\"$1\""
                     ${PROJECT_SOURCE_DIR}/${source} ${gz}
                     DEPENDS ${source} VERBATIM)
  list(APPEND gzipped ${gz})
  get_filename_component(dir ${installed} DIRECTORY)
  get_filename_component(file ${installed} NAME)
  install(FILES ${gz} DESTINATION ${dir} RENAME ${file})
endwhile()
add_custom_target(compressed_docs ALL DEPENDS ${gzipped})

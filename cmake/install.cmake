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
if(ISBN10_STATIC)
  # lintian takes a static program in a package for a mistake; here it is the
  # point, and the override says so to lintian.
  install(FILES doc/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
          RENAME isbn10 COMPONENT dynamic)
endif()
# The pages' header shows the version and the date of the newest change log
# entry: a release sets each in one place, project() and the change log.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS doc/changelog)
file(STRINGS doc/changelog trailers REGEX "^ -- ")
list(GET trailers 0 trailer)
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
if(NOT trailer MATCHES ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "doc/changelog: no date in its newest entry's last line: ${trailer}")
endif()
list(FIND months ${CMAKE_MATCH_2} month)
if(month LESS 0)
  message(FATAL_ERROR "doc/changelog: no month named ${CMAKE_MATCH_2} in its newest entry's date: ${trailer}")
endif()
math(EXPR month "${month} + 1")
if(month LESS 10)
  set(month 0${month})
endif()
set(man_date ${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1})
configure_file(doc/isbn10.1.in man/isbn10.1 @ONLY)
configure_file(doc/ja/isbn10.1.in man/ja/isbn10.1 @ONLY)

# Compressed as Debian has them, without the name and time that gzip would
# otherwise record. source | installed as
set(compressed
    ${PROJECT_BINARY_DIR}/man/isbn10.1 ${CMAKE_INSTALL_MANDIR}/man1/isbn10.1.gz
    ${PROJECT_BINARY_DIR}/man/ja/isbn10.1 ${CMAKE_INSTALL_MANDIR}/ja/man1/isbn10.1.gz
    ${PROJECT_SOURCE_DIR}/doc/changelog ${CMAKE_INSTALL_DOCDIR}/changelog.gz)
while(compressed)
  list(POP_FRONT compressed source installed)
  string(MAKE_C_IDENTIFIER ${installed} name)
  set(gz ${PROJECT_BINARY_DIR}/${name})
  add_custom_command(OUTPUT ${gz} COMMAND sh -c "gzip -9n <\"$0\" >\"$1\""
                     ${source} ${gz} DEPENDS ${source} VERBATIM)
  list(APPEND gzipped ${gz})
  get_filename_component(dir ${installed} DIRECTORY)
  get_filename_component(file ${installed} NAME)
  install(FILES ${gz} DESTINATION ${dir} RENAME ${file})
endwhile()
add_custom_target(compressed_docs ALL DEPENDS ${gzipped})

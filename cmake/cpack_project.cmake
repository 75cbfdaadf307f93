# Run by cpack for each generator, before it installs and packs.

# Every time stamp written into a package is the last commit's time, so one
# commit packs to the same bytes whenever and wherever it is built. A
# SOURCE_DATE_EPOCH set by the caller wins; without either, cpack stops
# rather than make files that no one could make again. Whose checkout it is
# does not matter for reading a time.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -c safe.directory=* -C "${CPACK_ISBN10_SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_VARIABLE error RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "no commit time for the time stamps in the packages; "
                        "set SOURCE_DATE_EPOCH: ${status} ${error}")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
# A zip records local times: the same in every time zone only as UTC.
set(ENV{TZ} UTC)

# The installer installs everything: no page of components to choose from.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_MONOLITHIC_INSTALL ON)
endif()

# The release files: an installer and a zip for Windows, a Debian package and
# a tarball elsewhere, each with its SHA-256 beside it, made by the target
# release_files in packages/ of the build tree.
set(CPACK_PACKAGE_NAME isbn10)
set(CPACK_PACKAGE_VENDOR "isbn10 maintainers")
set(CPACK_PACKAGE_CONTACT "isbn10 maintainers <maintainers@users.noreply.c-seed-fd7dcc84.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check the check character of one ISBN-10, in Japanese")
set(CPACK_PACKAGE_DESCRIPTION
    "isbn10 asks in Japanese for a ten-character ISBN, prints the weighted sum of
its characters and says whether the check character is correct. It handles
one number per start and waits for a key before it ends, so that a console
window opened for it stays readable.")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)
# The zip and the tarball list their members in name order only when they
# are made per component: with one component, they are still one archive, with
# the versioned folder on top. Made whole, they would follow the order in
# which the file system happens to list the folders.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
# The archives: the read-mes and pages, and on Linux the static program.
if(TARGET isbn10_static)
  set(CPACK_COMPONENTS_ALL Unspecified static)
else()
  set(CPACK_COMPONENTS_ALL Unspecified)
endif()
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
# Read by cpack: time stamps in the packages come from the last commit.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_project.cmake)
set(CPACK_ISBN10_SOURCE_DIR ${PROJECT_SOURCE_DIR})

if(WIN32)
  set(CPACK_GENERATOR NSIS ZIP)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY isbn10)
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY isbn10)
  set(CPACK_NSIS_PACKAGE_NAME isbn10)
  set(CPACK_NSIS_DISPLAY_NAME "isbn10 ${PROJECT_VERSION}")
  # The Start menu entry opens the program in a console window of its own.
  set(CPACK_PACKAGE_EXECUTABLES isbn10 isbn10)
  set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
  set(CPACK_NSIS_INSTALLED_ICON_NAME isbn10.exe)
  # No licence has been granted yet: no licence page, rather than CPack's
  # placeholder for one.
  set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
  # Unicode pages, so the Japanese ones read right whatever the system's
  # ANSI code page.
  set(CPACK_NSIS_DEFINES "Unicode true")
  # Installed files keep the time of the install, not of the build, which
  # would make every build of the installer differ. Over an installed
  # version, that version's own uninstaller removes it first, silently and
  # in place: CPack's question before doing so is in English only. The
  # uninstaller cannot remove itself or its folder while it runs from there.
  set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "SetDateSave off
  ReadRegStr $0 SHCTX \"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\isbn10\" \"UninstallString\"
  ReadRegStr $1 SHCTX \"Software\\${CPACK_PACKAGE_VENDOR}\\isbn10\" \"\"
  StrCmp $0 \"\" isbn10_files
  StrCmp $1 \"\" isbn10_files
  ExecWait '$0 /S _?=$1'
  Delete \"$1\\Uninstall.exe\"
  RMDir \"$1\"
  isbn10_files:
  SetOutPath \"$INSTDIR\"")
  # The uninstaller removes our key under the vendor's but not the vendor's
  # own, left empty; this hook runs after that removal.
  set(CPACK_NSIS_DELETE_ICONS_EXTRA "DeleteRegKey /ifempty SHCTX \"Software\\${CPACK_PACKAGE_VENDOR}\"")
else()
  set(CPACK_GENERATOR DEB TGZ)
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # Debian's name for the architecture, also when cross-building.
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "arm")
    # The 32-bit Raspberry Pi OS and Debian's armhf; the program is static
    # and needs nothing of either.
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
  endif()
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  if(NOT ISBN10_STATIC)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()

include(CPack)

# cpack writes under the caller's umask and records the caller as the owner of
# what it packs (the members of the .deb, the tarball and the zip). As
# dpkg-buildpackage does, pack under umask 022, as root or under fakeroot, so
# that whoever builds gets the same bytes. Old release files go first.
add_custom_target(release_files
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CPACK_PACKAGE_DIRECTORY}
  COMMAND sh -c "umask 022 && if [ \"$(id -u)\" = 0 ]; then exec \"$@\"; fi && exec fakeroot \"$@\""
          sh ${CMAKE_CPACK_COMMAND} --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake
  VERBATIM)
# cpack installs what is built; it builds nothing itself.
add_dependencies(release_files isbn10)
if(TARGET isbn10_static)
  add_dependencies(release_files isbn10_static)
endif()
if(TARGET compressed_docs)
  add_dependencies(release_files compressed_docs)
endif()

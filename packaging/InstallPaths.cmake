# Runs at install time, with CMAKE_INSTALL_PREFIX as it is for this
# installation (CPack's differs from the configured one). Writes what names an
# absolute path: the menu entry, which names its launcher, and the links from
# the plug-in's folder to its lists, which live with the system's settings.

set(corvane_prefix "${CMAKE_INSTALL_PREFIX}")
set(corvane_private "${corvane_prefix}/${CORVANE_PRIVATE_DIR}")
# A /usr installation keeps its settings in /etc, any other in prefix/etc.
if(corvane_prefix STREQUAL "/usr")
  set(corvane_settings "/etc/corvane")
else()
  set(corvane_settings "${corvane_prefix}/etc/corvane")
endif()

# Exec takes an argument list: a path with a space must be quoted, and one
# with any other character the desktop entry rules reserve is refused rather
# than escaped wrongly.
set(CORVANE_LAUNCHER "${corvane_private}/corvane-launch")
if(CORVANE_LAUNCHER MATCHES "[\"'`$\\\\<>~|&;*?#()\t\n]")
  message(FATAL_ERROR "The launcher's path cannot go into a desktop entry: ${CORVANE_LAUNCHER}")
elseif(CORVANE_LAUNCHER MATCHES " ")
  set(CORVANE_LAUNCHER "\"${CORVANE_LAUNCHER}\"")
endif()
configure_file("${CORVANE_DESKTOP_TEMPLATE}" "${CORVANE_STAGING_DIR}/corvane.desktop" @ONLY)
file(INSTALL "${CORVANE_STAGING_DIR}/corvane.desktop"
  DESTINATION "${corvane_prefix}/share/applications"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The blocklist plug-in reads its lists from its own folder. The links make
# them settings the administrator edits in one place; a missing target is an
# empty list, so the folder for them is all that is installed.
foreach(corvane_list blocklist.txt allowlist.txt)
  set(corvane_link "${corvane_private}/${corvane_list}")
  message(STATUS "Installing: $ENV{DESTDIR}${corvane_link} -> ${corvane_settings}/${corvane_list}")
  file(REMOVE "$ENV{DESTDIR}${corvane_link}")
  file(CREATE_LINK "${corvane_settings}/${corvane_list}" "$ENV{DESTDIR}${corvane_link}" SYMBOLIC)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${corvane_link}")
endforeach()
file(MAKE_DIRECTORY "$ENV{DESTDIR}${corvane_settings}")
file(CHMOD "$ENV{DESTDIR}${corvane_settings}" DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

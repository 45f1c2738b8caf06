# Runs after CPack has built the packages. CPack's debug symbols package
# lists its files in md5sums under their staging paths rather than their
# installed ones, so dpkg --verify and debsums would find none of them; and it
# carries no copyright or changelog. Rebuilt here with the right sums and the
# documentation folder linked to the main package's, as dbgsym packages do
# (it depends on that package's exact version).

foreach(package ${CPACK_PACKAGE_FILES})
  if(NOT package MATCHES "-dbgsym_[^/]*\\.ddeb$")
    continue()
  endif()
  get_filename_component(folder "${package}" DIRECTORY)
  set(tree "${folder}/dbgsym-repair")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)

  # Installed paths, relative to the root, in the order dpkg-deb lists them.
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${tree}" "${tree}/usr/*")
  list(SORT files)
  set(sums "")
  foreach(file ${files})
    file(MD5 "${tree}/${file}" sum)
    string(APPEND sums "${sum}  ${file}\n")
  endforeach()
  file(WRITE "${tree}/DEBIAN/md5sums" "${sums}")

  execute_process(
    COMMAND dpkg-deb -f "${package}" Package
    OUTPUT_VARIABLE name OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX REPLACE "-dbgsym$" "" main "${name}")
  file(MAKE_DIRECTORY "${tree}/usr/share/doc")
  file(CREATE_LINK "${main}" "${tree}/usr/share/doc/${name}" SYMBOLIC)

  execute_process(
    COMMAND dpkg-deb --root-owner-group -Zxz -b "${tree}" "${package}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()

# Run by CPack once the package's files are staged, for what only the package
# has beside a plain cmake --install: the lintian overrides.
set(share "${CPACK_TEMPORARY_DIRECTORY}/usr/share")
set(file "${share}/lintian/overrides/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${share}/lintian/overrides")
configure_file("${CPACK_LINTIAN_OVERRIDES}" "${file}" COPYONLY)
# Independent of the packager's umask.
file(CHMOD "${share}/lintian" "${share}/lintian/overrides" PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(CHMOD "${file}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# Run by CPack once the package's files are staged, for what only the package
# does otherwise than a plain cmake --install:
# - /opt/tavlo and /opt/tavlo/helpml are made by the postinst instead of being
#   shipped: dpkg owns every folder that a package ships, and would remove an
#   empty /opt on purge that was there before the package;
# - the lintian overrides are added.
file(REMOVE_RECURSE "${CPACK_TEMPORARY_DIRECTORY}/opt")
set(share "${CPACK_TEMPORARY_DIRECTORY}/usr/share")
set(file "${share}/lintian/overrides/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${share}/lintian/overrides")
configure_file("${CPACK_LINTIAN_OVERRIDES}" "${file}" COPYONLY)
# Independent of the packager's umask.
file(CHMOD "${share}/lintian" "${share}/lintian/overrides" PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(CHMOD "${file}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

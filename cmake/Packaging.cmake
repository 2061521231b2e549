# `make package` (the `package` target): a Debian package of what the install rules put under
# /usr. Nothing of the tests or benchmarks has an install rule, so none of it is packaged.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Pelmora developers")
set(CPACK_PACKAGE_CONTACT "The Pelmora developers <pelmora@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file synchroniser for one user, with a preview and a scheduler")
# Lines of at most 80 columns, as the control file wants them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
       "Pelmora keeps pairs of folders in step with named tasks. Each task pairs a"
       "host folder with a mirror folder, on this computer or on an SMB share, and"
       "says for each kind of difference whether to copy one way or the other,"
       "delete, or ignore. A run shows its plan in a preview, copies with progress,"
       "a speed limit and an error limit, and logs a summary. Runs start by hand,"
       "from the command line, or from the built-in scheduler in the notification"
       "area.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PELMORA_HOMEPAGE})
# The libraries the programs link are found by dpkg-shlibdeps. Two are loaded at run time, from
# packages that dpkg-shlibdeps cannot see: Qt's desktop platform plugin (xcb), and the SMB client
# library, which the programs open when a task first uses a share. Its version is the oldest
# whose symbols file lists every function they look up (smbc_getFunctionReaddirPlus2, 4.12).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libsmbclient (>= 2:4.12.0+dfsg)")
# For the Chinese texts: the toolkit's own dialog texts and a font. Suggested, not recommended:
# apt would otherwise pull a large font into every English installation.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-translations-l10n, fonts-noto-cjk")

include(CPack)

# The Debian package: cmake --build build --target package writes build/kestrow_VERSION_ARCH.deb
# with the installed layout under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrow)
set(CPACK_PACKAGE_VENDOR "The Kestrow project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web robot that downloads the files web and FTP pages link to")
# The lines under the summary.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kestrow keeps a list of web pages; for each page it fetches the page, scans
it for links whose file name contains or ends with a filter text such as .zip,
and downloads each file into the page's output folder. It retries failed files,
works through HTTP proxies with logins, speaks http, https and ftp, and keeps
an activity log.
.
kestrow-cli runs the same lists without a window or display, for cron jobs,
systemd timers and servers.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Kestrow project <maintainers@kestrow.example.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KESTROW_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The install code writes the launcher with the program's path under the prefix, so the prefix
# must be /usr while installing into the package's tree.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Depends: the libraries the programs link, OpenSSL among them (dpkg-shlibdeps), and the platform
# plugins without which the window cannot open. https checks servers against the system's
# authorities; printing goes through lp.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ca-certificates)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS cups-client)
include(CPack)

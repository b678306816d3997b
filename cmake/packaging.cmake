# Debian packages ("cpack -G DEB" in the build folder), one per install
# component:
#   xrackmon            component console: xrackmon, its rack_test link,
#                       rackstat, and the data the program reads (icons,
#                       message catalogues, help files and pictures under
#                       /opt/console, the Xrackmon app-defaults file)
#   xrackmon-standins   component standins: libqmx, cabsim, opclogd, xscp,
#                       the utility stand-ins and the sample installation
#                       (/var/console/nxs.config, /usr/boot/cmic/bootptab)
# The programs go under /usr; the data keeps its fixed paths (data/
# CMakeLists.txt), which the DEB generator packs as they are.
#
# The program links libqmx, which a real installation has from its own
# package: xrackmon depends on the virtual package libqmx, which the
# stand-ins provide.  Dependencies are the runtime libraries the programs
# link (never the -dev packages), named as Debian 12 names them.
set(CPACK_PACKAGE_NAME xrackmon)
set(CPACK_PACKAGE_VENDOR "xrackmon")
set(CPACK_PACKAGE_VERSION 0.1.0)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "xrackmon, the cabinet status and FRU console")
set(CPACK_PACKAGE_CONTACT "xrackmon maintainers <xrackmon@localhost>")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL console standins)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
# The debugging symbols stay in the build tree.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME xrackmon)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_DEPENDS "libqmx, libxm4, libxt6, libxmu6, libx11-6, libstdc++6, libgcc-s1, libc6")
set(CPACK_DEBIAN_CONSOLE_DESCRIPTION "xrackmon shows a cabinet's chassis, components and their status, and walks the operator through FRU replacement, power on and power off; rack_test is its test mode, rackstat its command-line status query.")

set(CPACK_DEBIAN_STANDINS_PACKAGE_NAME xrackmon-standins)
set(CPACK_DEBIAN_STANDINS_PACKAGE_DEPENDS "libstdc++6, libgcc-s1, libc6")
set(CPACK_DEBIAN_STANDINS_PACKAGE_PROVIDES libqmx)
set(CPACK_DEBIAN_STANDINS_DESCRIPTION "Stand-ins for the installation around xrackmon: the management message library libqmx, the cabinet simulator cabsim, the console log daemon opclogd, the serial console xscp, the utilities the FRU procedures run, and a sample installation of simulated cabinets.")

include(CPack)

# Debian packages of the suite, built by cpack -G DEB from a configured build
# tree (scripts/package). One install component per package, named as the
# package:
#   hbasuite      hbaset, fwsweep, tgxlist, the real Linux backend, the NEXA
#                 library hbaset links, manual pages and bash completion
#   libtgx1       libtgx.so.1 and the platform library every program loads
#   libtgx-dev    libtgx.h, the libtgx.so link, libtgx.pc, the CMake package
#   hbasuite-sim  hbasim and the simulated driver, for rehearsals
# Each package carries usr/share/doc/<package>/copyright and changelog.gz.
#
# How to add a file to a package: install it with COMPONENT <package>; a new
# package needs a row in HBA_PACKAGES and its CPACK_* lines below.
set(HBA_PACKAGES hbasuite libtgx1 libtgx-dev hbasuite-sim)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME hbasuite)
set(CPACK_PACKAGE_VENDOR "hbasuite maintainers")
set(CPACK_PACKAGE_CONTACT "hbasuite maintainers <maintainers@users.noreply.c-seed-627732f7.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${HBA_PACKAGES})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Depends from the ELF files; the suite's own libraries are found in the build
# folder, and the packages that carry them are named by the component depends.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_HBASUITE_PACKAGE_NAME hbasuite)
set(CPACK_DEBIAN_HBASUITE_PACKAGE_SECTION admin)
set(CPACK_COMPONENT_HBASUITE_DEPENDS libtgx1)
set(CPACK_COMPONENT_HBASUITE_DESCRIPTION
    "host bus adapter management: hbaset, fwsweep and tgxlist
Manages the Fibre Channel HBAs and converged network adapters of a server.
hbaset lists the adapters, changes their non-volatile configuration, runs
diagnostics and flashes firmware, one command per run or from a script;
fwsweep brings the firmware of every converged adapter to the level named
in a matrix file; tgxlist shows what the adapter library discovers.

The programs use the kernel's FC transport class (sysfs) by default.")

set(CPACK_DEBIAN_LIBTGX1_PACKAGE_NAME libtgx1)
set(CPACK_DEBIAN_LIBTGX1_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIBTGX1_DESCRIPTION
    "host bus adapter management library
libtgx is the management interface to the host bus adapter driver: flat
TGX_* C exports for discovery, mailbox commands, adapter queries, resets,
loopback tests, events, virtual ports, LUN masking, authentication and
SCSI/ELS/CT pass-through.

This package holds the shared library and the suite's platform library.")

set(CPACK_DEBIAN_LIBTGX-DEV_PACKAGE_NAME libtgx-dev)
set(CPACK_DEBIAN_LIBTGX-DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_LIBTGX-DEV_DEPENDS libtgx1)
set(CPACK_COMPONENT_LIBTGX-DEV_DESCRIPTION
    "host bus adapter management library - development files
libtgx is the management interface to the host bus adapter driver.

This package holds libtgx.h, the link for -ltgx, libtgx.pc for pkg-config
and the CMake package for find_package(libtgx).")

set(CPACK_DEBIAN_HBASUITE-SIM_PACKAGE_NAME hbasuite-sim)
set(CPACK_DEBIAN_HBASUITE-SIM_PACKAGE_SECTION admin)
set(CPACK_COMPONENT_HBASUITE-SIM_DEPENDS hbasuite)
set(CPACK_COMPONENT_HBASUITE-SIM_DESCRIPTION
    "simulated host bus adapters for rehearsing hbasuite campaigns
hbasim and the simulated adapter driver: a machine of FC HBAs and converged
adapters kept in files, for rehearsing hbaset commands and fwsweep
campaigns on simulated fleets before they run on real servers.

The programs use the simulated machine only when it is chosen explicitly:
HBA_DRIVER_BACKEND=sim in the environment, or backend = sim in
/etc/hbasuite/hbasuite.conf (see hbasim(1)).")

# Maintainer scripts. libtgx1: the ldconfig trigger (no ldconfig calls of
# CPack's own) and the suite's folders for state and logs, removed on purge.
set(HBA_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_DEBIAN_LIBTGX1_PACKAGE_CONTROL_EXTRA
    ${HBA_PACKAGING_DIR}/libtgx1/triggers ${HBA_PACKAGING_DIR}/libtgx1/postinst
    ${HBA_PACKAGING_DIR}/libtgx1/postrm)

# copyright, changelog.gz and the lintian overrides of every package.
set(HBA_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${HBA_CHANGELOG_GZ}
                   COMMAND gzip -9n -c ${HBA_PACKAGING_DIR}/changelog > ${HBA_CHANGELOG_GZ}
                   DEPENDS ${HBA_PACKAGING_DIR}/changelog VERBATIM)
add_custom_target(package_docs ALL DEPENDS ${HBA_CHANGELOG_GZ})
foreach(pkg ${HBA_PACKAGES})
  install(FILES ${HBA_PACKAGING_DIR}/copyright ${HBA_CHANGELOG_GZ}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${pkg} COMPONENT ${pkg})
  configure_file(${HBA_PACKAGING_DIR}/lintian-overrides.in
                 ${CMAKE_BINARY_DIR}/packaging/lintian/${pkg} @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/lintian/${pkg}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT ${pkg})
endforeach()

include(CPack)

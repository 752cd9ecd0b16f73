# Where everything installs, and the four Debian packages made from it by CPack:
#   vrnlib     the controller access library
#   vrnhttp    the agent and its systemd unit
#   quillht    the monitoring utility (window front-end beside it), its desktop entry and icon,
#              the unit of the headless mode
#   vrn-tools  vrncli, vrnmail, vrndiskcheck, vrnsim
# Units are installed, never enabled or started: the maintainer scripts only tell a running
# systemd that its unit files changed.
if(VRN_FUZZ OR NOT VRN_SANITIZE STREQUAL "")
  return()
endif()

include(GNUInstallDirs)
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(VRN_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
else()
  set(VRN_LIBDIR ${CMAKE_INSTALL_LIBDIR})
endif()
# QuillHT finds its window front-end in its own folder, so both live in a private folder and
# the program is reached through a link in bin.
set(VRN_QUILLHT_DIR lib/quillht)
set(VRN_DEB_PREFIX /usr)

install(TARGETS vrnlib LIBRARY DESTINATION ${VRN_LIBDIR} COMPONENT vrnlib NAMELINK_SKIP)
install(TARGETS vrnhttp RUNTIME DESTINATION bin COMPONENT vrnhttp)
install(TARGETS QuillHT RUNTIME DESTINATION ${VRN_QUILLHT_DIR} COMPONENT quillht)
if(TARGET quillht-window)
  install(TARGETS quillht-window LIBRARY DESTINATION ${VRN_QUILLHT_DIR} COMPONENT quillht)
endif()
install(TARGETS vrncli vrnmail vrnsim RUNTIME DESTINATION bin COMPONENT vrn-tools)
if(TARGET vrndiskcheck)
  install(TARGETS vrndiskcheck RUNTIME DESTINATION bin COMPONENT vrn-tools)
endif()

# The units in the source tree name /usr/local/bin (a hand install); the packaged ones name
# where the package puts the programs.
set(vrn_pkg_dir ${PROJECT_BINARY_DIR}/packaging)
# Their documentation link names the README, which each of the two packages carries.
foreach(pair vrnhttp.service:vrnhttp QuillHT.service:quillht)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 unit)
  list(GET pair 1 component)
  file(READ ${PROJECT_SOURCE_DIR}/packaging/${unit} text)
  string(REPLACE "/usr/local/bin/" "${VRN_DEB_PREFIX}/bin/" text "${text}")
  string(REPLACE "/usr/share/doc/vrn/" "${VRN_DEB_PREFIX}/share/doc/${component}/" text "${text}")
  file(WRITE ${vrn_pkg_dir}/${unit} "${text}")
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/${component}
    COMPONENT ${component})
endforeach()
install(FILES ${vrn_pkg_dir}/vrnhttp.service DESTINATION lib/systemd/system COMPONENT vrnhttp)
install(FILES ${vrn_pkg_dir}/QuillHT.service DESTINATION lib/systemd/system COMPONENT quillht)
file(CREATE_LINK ../${VRN_QUILLHT_DIR}/QuillHT ${vrn_pkg_dir}/QuillHT SYMBOLIC)
install(FILES ${vrn_pkg_dir}/QuillHT DESTINATION bin COMPONENT quillht)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/QuillHT.desktop
  DESTINATION share/applications COMPONENT quillht)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/QuillHT.svg
  DESTINATION share/icons/hicolor/scalable/apps COMPONENT quillht)

# Each package's copyright and changelog, as Debian wants them.
string(TIMESTAMP vrn_build_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
foreach(component vrnlib vrnhttp quillht vrn-tools)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/copyright
    ${vrn_pkg_dir}/${component}/copyright COPYONLY)
  file(WRITE ${vrn_pkg_dir}/${component}/changelog
    "${component} (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
    "  * Package built from the vrn source tree.\n\n"
    " -- vrn maintainers <maintainers@users.noreply.c-seed-491903a1.example>  ${vrn_build_date}\n")
  install(FILES ${vrn_pkg_dir}/${component}/copyright
    DESTINATION share/doc/${component} COMPONENT ${component})
  # Compressed at install time, without a time stamp, so the package is reproducible.
  install(CODE "execute_process(COMMAND gzip -9n -c ${vrn_pkg_dir}/${component}/changelog
      OUTPUT_FILE ${vrn_pkg_dir}/${component}/changelog.gz)"
    COMPONENT ${component})
  install(FILES ${vrn_pkg_dir}/${component}/changelog.gz
    DESTINATION share/doc/${component} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vrn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "vrn maintainers <maintainers@users.noreply.c-seed-491903a1.example>")
set(CPACK_PACKAGE_VENDOR "vrn maintainers")
set(CPACK_PACKAGING_INSTALL_PREFIX ${VRN_DEB_PREFIX})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL vrnlib vrnhttp quillht vrn-tools)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://c-seed-491903a1.example/vrn")
# Library dependencies from the binaries themselves; vrnlib is ours, so the packages that
# link it depend on it by name and version instead.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_VRNHTTP_DEPENDS vrnlib)
set(CPACK_COMPONENT_QUILLHT_DEPENDS vrnlib)
set(CPACK_COMPONENT_VRN-TOOLS_DEPENDS vrnlib)

set(CPACK_DEBIAN_VRNLIB_PACKAGE_NAME vrnlib)
set(CPACK_DEBIAN_VRNLIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_VRNLIB_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
set(CPACK_COMPONENT_VRNLIB_DESCRIPTION
  "access library for serial-attached RAID controllers\nThe library the vrn programs use to reach a RAID controller through its\nserial terminal port or through an agent on the network.")
set(CPACK_DEBIAN_VRNHTTP_PACKAGE_NAME vrnhttp)
set(CPACK_COMPONENT_VRNHTTP_DESCRIPTION
  "agent for a serial-attached RAID controller\nvrnhttp proxies the controller's web pages over HTTP and relays the\nmonitoring utility's requests on UDP port 7890. Its systemd unit is\ninstalled, not enabled.")
set(CPACK_DEBIAN_VRNHTTP_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_QUILLHT_PACKAGE_NAME quillht)
set(CPACK_COMPONENT_QUILLHT_DESCRIPTION
  "monitoring utility for RAID subsystems behind vrn agents\nQuillHT watches the controllers behind the agents on the network and\nreports their alarms by log file, system log, mail and pop-up messages,\nin a window or headless under systemd (unit installed, not enabled).")
set(CPACK_DEBIAN_QUILLHT_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_VRN-TOOLS_PACKAGE_NAME vrn-tools)
set(CPACK_COMPONENT_VRN-TOOLS_DESCRIPTION
  "command-line tools for serial-attached RAID controllers\nvrncli (queries and commands), vrnmail (a test alarm mail), vrndiskcheck\n(disk checking without a display) and vrnsim (a simulated controller).")
include(CPack)

# Two Debian packages (cmake --build build --target package):
#   pos-updater         the terminal program, terminal-init and the update timers
#   headoffice-service  the head-office service, its unit and its settings file under /etc
# Only these install; tests, benchmarks and fuzzers do not.

set(units lib/systemd/system)
set(pkg ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS pos-updater terminal-init RUNTIME DESTINATION bin COMPONENT pos-updater)
install(FILES
  ${pkg}/pos-updater/pos-updater-full@.service
  ${pkg}/pos-updater/pos-updater-full@.timer
  ${pkg}/pos-updater/pos-updater-changes@.service
  ${pkg}/pos-updater/pos-updater-changes@.timer
  DESTINATION ${units} COMPONENT pos-updater)

install(TARGETS headoffice-service RUNTIME DESTINATION bin COMPONENT headoffice-service)
install(FILES ${pkg}/headoffice-service/headoffice-service.service
  DESTINATION ${units} COMPONENT headoffice-service)
# It will hold the service password: root only (systemd reads it for the service).
install(FILES ${pkg}/headoffice-service/headoffice.conf
  DESTINATION /etc/headoffice-service
  PERMISSIONS OWNER_READ OWNER_WRITE
  COMPONENT headoffice-service)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VENDOR "POS data updater")
set(CPACK_PACKAGE_CONTACT "POS data updater maintainers <pos-updater@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL pos-updater headoffice-service)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Library dependencies come from the programs (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS OFF)

set(CPACK_DEBIAN_POS-UPDATER_PACKAGE_NAME pos-updater)
set(CPACK_COMPONENT_POS-UPDATER_DESCRIPTION
  "POS terminal data updater\n\
Brings a point-of-sale terminal's Firebird database up to date from head office\n\
over HTTP, in a window or headless. With terminal-init, which makes a terminal\n\
folder, and systemd timers for a nightly full update and a changes update every\n\
few minutes during opening hours (both off until enabled).")
# terminal-init and --local-db FILE use the embedded engine; the default connection goes
# through the Firebird server on the terminal.
set(CPACK_DEBIAN_POS-UPDATER_PACKAGE_DEPENDS "adduser, firebird3.0-server-core")
set(CPACK_DEBIAN_POS-UPDATER_PACKAGE_RECOMMENDS
  "firebird3.0-server, qt6-qpa-plugins, fonts-arphic-ukai, fonts-noto-cjk")
set(CPACK_DEBIAN_POS-UPDATER_PACKAGE_CONTROL_EXTRA
  "${pkg}/pos-updater/postinst;${pkg}/pos-updater/prerm;${pkg}/pos-updater/postrm")

set(CPACK_DEBIAN_HEADOFFICE-SERVICE_PACKAGE_NAME headoffice-service)
set(CPACK_COMPONENT_HEADOFFICE-SERVICE_DESCRIPTION
  "POS head-office data service\n\
Answers POS terminals' data requests from a SQLite or PostgreSQL head-office\n\
database; runs as a systemd service of its own user, with its settings in\n\
/etc/headoffice-service/headoffice.conf.")
set(CPACK_DEBIAN_HEADOFFICE-SERVICE_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_HEADOFFICE-SERVICE_PACKAGE_CONTROL_EXTRA
  "${pkg}/headoffice-service/conffiles;${pkg}/headoffice-service/postinst;\
${pkg}/headoffice-service/prerm;${pkg}/headoffice-service/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

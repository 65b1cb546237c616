# Installed like any Linux program: both programs in bin/, the adapter
# library in a folder of its own under lib/, the device library, a desktop
# entry and icon for the desktop's menu, korvex-decode's manual page and the
# udev rule for USB analyzers. CPack builds a .deb from the same rules:
#   cmake --install build --prefix ~/.local
#   (cd build && cpack -G DEB)
set(KORVEX_PRIVATE_LIBDIR lib/korvex)

# The sniffer finds libkorvex.so relative to itself wherever the prefix is.
set_target_properties(korvex-i2c-sniffer PROPERTIES
    INSTALL_RPATH "$ORIGIN/../${KORVEX_PRIVATE_LIBDIR}")
install(TARGETS korvex-i2c-sniffer korvex-decode RUNTIME DESTINATION bin)
install(TARGETS korvex LIBRARY DESTINATION ${KORVEX_PRIVATE_LIBDIR})
# (The device library is installed by protocol/, to share/korvex/symbol-library,
# and the device profiles by device/, to share/korvex/device-profiles.)
install(FILES ${CMAKE_SOURCE_DIR}/resources/linux/korvex-i2c-sniffer.desktop
    DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/images/korvex-i2c-sniffer.png
    DESTINATION share/icons/hicolor/128x128/apps)
install(FILES ${CMAKE_SOURCE_DIR}/tools/korvex-decode.1 DESTINATION share/man/man1)
# udev reads lib/udev/rules.d below the system prefix (/usr on Debian).
install(FILES ${CMAKE_SOURCE_DIR}/resources/linux/61-korvex-analyzers.rules
    DESTINATION lib/udev/rules.d)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvex-i2c-sniffer)
set(CPACK_PACKAGE_VENDOR KORVEX)
set(CPACK_PACKAGE_CONTACT "KORVEX support <support@korvex.example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "I2C bus sniffer for USB logic analyzers, and a command-line decoder")
set(CPACK_PACKAGE_DESCRIPTION
    "Captures SDA/SCL from a USB logic analyzer (through libsigrok), the built-in bus
simulator or a recorded capture, decodes START/address/data/ACK/NACK/STOP rows and
shows them in a paged table; korvex-decode decodes recorded captures headless.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://korvex.example.com)
# The runtime packages of what the programs link (Debian 12 names).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libglib2.0-0, libzip4, libsigrok4 (>= 0.5), libqt5core5a (>= 5.15), libqt5gui5 (>= 5.15), libqt5widgets5 (>= 5.15), libqt5xml5 (>= 5.15)")
# The Chinese interface texts need a CJK font; fx2lafw analyzers load their firmware.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei, sigrok-firmware-fx2lafw")
include(CPack)

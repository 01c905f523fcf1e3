# The installation (`cmake --install build --prefix P`) and its Debian package (`cpack -G DEB` in
# the build folder):
#   P/bin/tapwedge                         the program
#   P/lib/tapwedge/lib*.so                 its libraries, found through the program's run path
#                                          $ORIGIN/../lib/tapwedge (and theirs, $ORIGIN)
#   P/share/tapwedge/Card.set, Wedgetap.ini  the defaults of a new settings folder
#   P/share/applications/tapwedge.desktop  the menu entry; its icon under P/share/icons
#   P/share/tapwedge/autostart/tapwedge.desktop  to copy into ~/.config/autostart
# The share/ files are installed by tapwedge/share/CMakeLists.txt.
# Installing and packing take what the build made; they never start a build themselves.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(TAPWEDGE_LIBRARIES platform usbline comline tagwire)
set_target_properties(tapwedge PROPERTIES INSTALL_RPATH "$ORIGIN/../lib/tapwedge")
set_target_properties(${TAPWEDGE_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS tapwedge RUNTIME DESTINATION bin)
install(TARGETS ${TAPWEDGE_LIBRARIES} LIBRARY DESTINATION lib/tapwedge)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tapwedge)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tray program that types contactless cards as keystrokes")
set(CPACK_PACKAGE_DESCRIPTION "Tapwedge keeps a contactless-card reader/writer connected \
(serial port or FTDI USB), polls for FeliCa, Mifare and ISO15693 cards and types each card's \
identifier and data areas into the focused window, or appends them to a CSV file.")
set(CPACK_PACKAGE_CONTACT "Tapwedge developers <tapwedge@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Qt 6 widgets (with its X11 platform plugin), libXtst, the C++ run time: from the linked libraries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS lib/tapwedge)
# Japanese glyphs for the dialogs, and Qt's own texts in Japanese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk, qt6-translations-l10n")
include(CPack)

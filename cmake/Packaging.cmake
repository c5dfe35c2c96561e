# The Debian package: CPack builds it from the same install rules `cmake --install` follows, so
# what the package holds and what a source install puts in place never drift apart.
# Build it with scripts/package.sh.

set(QUELMO_APP_ID org.quelmo.quelmo)
set(QUELMO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quelmo)

# Debian keeps manual pages and changelogs compressed, without timestamps (reproducible builds).
set(QUELMO_GZIPPED ${CMAKE_BINARY_DIR}/package-files)
foreach(pair "data/quelmo.1|quelmo.1.gz" "data/package/changelog|changelog.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 target)
  add_custom_command(OUTPUT ${QUELMO_GZIPPED}/${target}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUELMO_GZIPPED}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/${source} > ${QUELMO_GZIPPED}/${target}
    DEPENDS ${PROJECT_SOURCE_DIR}/${source} VERBATIM)
  list(APPEND QUELMO_GZIPPED_FILES ${QUELMO_GZIPPED}/${target})
endforeach()
add_custom_target(quelmo_package_files ALL DEPENDS ${QUELMO_GZIPPED_FILES})

install(FILES ${PROJECT_SOURCE_DIR}/data/${QUELMO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/${QUELMO_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/data/${QUELMO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${QUELMO_GZIPPED}/quelmo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${QUELMO_GZIPPED}/changelog.gz ${PROJECT_SOURCE_DIR}/data/package/copyright
        DESTINATION ${QUELMO_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quelmo)
set(CPACK_PACKAGE_VENDOR "The Quelmo developers")
set(CPACK_PACKAGE_CONTACT "The Quelmo developers <developers@quelmo.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keyboard-played music desk")
# CPack indents the long description and writes the blank line as Debian's " ."
set(CPACK_PACKAGE_DESCRIPTION "Quelmo is a music desk played from the keyboard while working: eight
synthesised drum pads, a 16-step sequencer on a tempo transport with a
metronome, and the user's own tracks and YouTube audio looping on players of
their own, all through one effects rack into metered output.

Shortcuts are heard from every application and acknowledged on a full-screen
card. Voice drops, a lid tap that fires the kick, system audio through the
rack, MIDI pad controllers and set recording complete the desk.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quelmo.org/)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The libraries it links, found by dpkg-shlibdeps; then what it loads or runs by name, which no
# linker sees: Qt's QML modules and plugins, FFmpeg's libraries (loaded at the first decode, by the
# sonames of the headers it was built against: Debian names their packages after them), and the
# tools the deck starts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
find_package(PkgConfig REQUIRED)
set(quelmo_ffmpeg_packages "")
foreach(library libavutil libswresample libavcodec libavformat)
  pkg_check_modules(quelmo_${library} REQUIRED QUIET ${library})
  string(REGEX MATCH "^[0-9]+" major "${quelmo_${library}_VERSION}")
  string(APPEND quelmo_ffmpeg_packages "${library}${major}, ")
endforeach()
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "${quelmo_ffmpeg_packages}qml6-module-qtquick, qml6-module-qtquick-window, qml6-module-qtquick-controls, \
qml6-module-qtquick-templates, qml6-module-qtquick-layouts, qml6-module-qtquick-dialogs, \
qml6-module-qtquick-shapes, qml6-module-qt-labs-folderlistmodel, qml6-module-qtqml-workerscript, \
libqt6svg6, libqt6sql6-sqlite, ffmpeg, espeak-ng, pulseaudio-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "yt-dlp, fonts-noto-color-emoji")
include(CPack)

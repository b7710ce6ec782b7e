# The Debian package of the installation (scripts/package.sh runs CPack): taktovi_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME taktovi)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_CONTACT "Seed 70c7e493 maintainers <maintainers@users.noreply.c-seed-70c7e493.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "training programs for children's auditory perception")
# The long description, wrapped for the package managers' 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Two programs for children, used together with a parent or therapist.
Melodies are drawn as rows of coloured rectangles (position is time, row is
pitch) and played tone by tone while the child watches.

TAKTOVI 1, the choice trainer: two patterns are shown and one is played; the
child answers upper or lower. TAKTOVI 2, the timing trainer: one pattern is
played; the child presses the space bar the moment its last tone begins.

Sound goes through MIDI (a built-in software synthesizer with the General
MIDI soundfont, or an ALSA sequencer port) or through an instrument sample
replayed at each pitch. The programs are in German.")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # libraries from the binaries, plus:
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fluid-soundfont-gm | timgm6mb-soundfont, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The copyright file covers instrument samples rendered from the Fluid (R3) soundfont only.
set(CPACK_TAKTOVI_SAMPLE_SOUNDFONT ${TAKTOVI_SAMPLE_SOUNDFONT})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/check_soundfont.cmake)

include(CPack)

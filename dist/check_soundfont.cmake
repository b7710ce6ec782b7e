# Run by CPack before it builds the package: the package's copyright file names the Fluid (R3)
# General MIDI soundfont as the source of the instrument samples, so they must come from it.
file(REAL_PATH "${CPACK_TAKTOVI_SAMPLE_SOUNDFONT}" soundfont)
get_filename_component(name "${soundfont}" NAME)
if(NOT name STREQUAL "FluidR3_GM.sf2")
  message(FATAL_ERROR "The instrument samples were rendered from ${soundfont}; the package's "
                      "copyright file covers FluidR3_GM.sf2 (fluid-soundfont-gm) only.")
endif()

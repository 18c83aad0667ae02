# Helpers shared by the program, the tests and the benchmarks.

# Programs whose entry point is wmain or wWinMain.
function(vexlo_unicode_entry target)
  if(MINGW)
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()

# Under a cross build, ctest runs each test program through Wine in a private prefix
# kept in the build tree, with a persistent wineserver set up by a fixture.
set(VEXLO_WINEPREFIX "${CMAKE_BINARY_DIR}/wine/prefix")
if(CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/scripts/wine-run.sh;${VEXLO_WINEPREFIX}"
      CACHE STRING "Runs the Windows programs" FORCE)
  set(VEXLO_UNDER_WINE ON)
endif()

# What is installed, and the two packages made from it by cpack (`make package`):
#   vexlo-<version>-setup.exe     NSIS installer, x64, into Program Files
#   vexlo-<version>-portable.zip  the same files in one folder, nothing written anywhere
# Both land in ${CMAKE_BINARY_DIR}/packages. The version is the project's.

# Only the program and its README: the test programs, the scripted tool and the
# benchmarks have no install rules, and GoogleTest's are off (INSTALL_GTEST).
install(TARGETS vexlo RUNTIME DESTINATION .)
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION .)

set(VEXLO_PACKAGE_DIR "${CMAKE_BINARY_DIR}/packages")
set(VEXLO_SETUP_NAME "vexlo-${PROJECT_VERSION}-setup.exe")

set(CPACK_VERBATIM_VARIABLES ON)  # NSIS text keeps its backslashes and dollars as written
set(CPACK_GENERATOR "NSIS;ZIP")
set(CPACK_PACKAGE_NAME "Vexlo")
set(CPACK_PACKAGE_VENDOR "Quenmar")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DIRECTORY "${VEXLO_PACKAGE_DIR}")
set(CPACK_STRIP_FILES ON)  # the RelWithDebInfo symbols stay in the build tree
# The file names differ per generator; CPACK_PACKAGE_FILE_NAME is shared, so it is set
# there, once cpack knows which generator runs.
configure_file("${PROJECT_SOURCE_DIR}/packaging/CPackOptions.cmake.in"
               "${CMAKE_BINARY_DIR}/CPackOptions.cmake" @ONLY)
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_BINARY_DIR}/CPackOptions.cmake")

# One folder without the version, so an upgrade installs over the old one. The
# registry key is Software\<vendor>\<this>: the same key that holds "Ver".
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Vexlo")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "vexlo")

set(CPACK_NSIS_PACKAGE_NAME "Vexlo")
set(CPACK_NSIS_DISPLAY_NAME "Vexlo")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_INSTALLED_ICON_NAME "vexlo.exe")
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/res/vexlo.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/res/vexlo.ico")
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)  # there is no license text; CPack's would be a placeholder
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# An x64 installer for the x64 program: its registry calls then see the view the
# program reads, and it runs where the program runs (also under a 64-bit-only Wine).
# The additions for the registry are in packaging/vexlo.nsh.
set(CPACK_NSIS_DEFINES "Target amd64-unicode
  !define VEXLO_VERSION \"${PROJECT_VERSION}\"
  !define VEXLO_VENDOR \"${CPACK_PACKAGE_VENDOR}\"
  !define VEXLO_REGISTRY_KEY \"${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}\"
  !include \"${PROJECT_SOURCE_DIR}/packaging/vexlo.nsh\"")
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "!insertmacro VexloPreInstall")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!insertmacro VexloInstall")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "!insertmacro VexloUninstall")
# The Start-menu shortcut "Vexlo" (CPACK_PACKAGE_EXECUTABLES would point it into bin\).
set(CPACK_NSIS_CREATE_ICONS_EXTRA "!insertmacro VexloCreateShortcut")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "!insertmacro VexloDeleteShortcut")

# CPack's own NSIS template with one addition: the first thing .onInit and un.onInit do
# is VexloRequireAdmin (packaging/vexlo.nsh). The template offers no hook there, so a
# copy is made from the CMake in use and found first through CPACK_MODULE_PATH.
set(VEXLO_NSIS_TEMPLATE_DIR "${CMAKE_BINARY_DIR}/nsis-template")
set(cmake_nsis_template "${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in")
if(NOT EXISTS "${cmake_nsis_template}")
  message(FATAL_ERROR "CPack's NSIS template is not at ${cmake_nsis_template}")
endif()
file(READ "${cmake_nsis_template}" nsis_template)
foreach(function IN ITEMS ".onInit" "un.onInit")
  set(anchor "\nFunction ${function}\n")
  string(FIND "${nsis_template}" "${anchor}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "No 'Function ${function}' in ${cmake_nsis_template}")
  endif()
  string(REPLACE "${anchor}" "${anchor}  !insertmacro VexloRequireAdmin\n" nsis_template "${nsis_template}")
endforeach()
file(WRITE "${VEXLO_NSIS_TEMPLATE_DIR}/NSIS.template.in" "${nsis_template}")
set(CPACK_MODULE_PATH "${VEXLO_NSIS_TEMPLATE_DIR};${CMAKE_MODULE_PATH}")

include(CPack)

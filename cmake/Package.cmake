# The Debian package: `cpack -G DEB` in a build folder, or scripts/package.sh for a release
# build of it. It installs under /usr, with the programs stripped.
set(CPACK_PACKAGE_NAME tonwright)
set(CPACK_PACKAGE_VENDOR Vandrel)
set(CPACK_PACKAGE_CONTACT "Jorun Valdemeer <jorun@vandrel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "front-end for a command-line MPEG Layer-3 decoder")
# One string: CPack writes each of its lines as a line of the long description.
# (At most 79 characters a line: the package's lines are indented by one.)
set(CPACK_PACKAGE_DESCRIPTION [[
Tonwright decodes MP3 files into WAV, SND, AIFF or AIFC audio files. Browse
to a folder of MP3 files, select some, pick an output format, two decoder
switches and an output folder, and press Decode: Tonwright writes a batch
script with one decoder line and one rename line per file and runs it in a
terminal window of its own. Its decoder, l3dec, and the console interpreter
that runs the script come with it.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.vandrel.example/")
# The libraries from the programs themselves (dpkg-shlibdeps); the two programs Tonwright
# starts by name: a terminal that runs the script (xterm, or any the desktop has), and the
# opener of the About box's links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xterm | x-terminal-emulator, xdg-utils")
# The window's font, where the first choices are missing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, fonts-dejavu-core, libnotify-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# The one component, as `cmake --install --component tonwright` installs it: its manifest has a
# name of its own, so packing never replaces the one `uninstall` reads.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};tonwright;/")
include(CPack)

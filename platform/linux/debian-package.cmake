# The Debian package (`make package`, which runs CPack in the build tree):
# everything the install rules put under the prefix, with the shared
# libraries' packages found by dpkg-shlibdeps.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tintaria)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tintaria developers")
set(CPACK_PACKAGE_CONTACT "The Tintaria developers <games@tintaria.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "colour-by-number picture game for children")
# CPack puts the summary first and indents every line of this text itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A child picks a numbered paint tube and clicks the parts of a picture that
carry that number; a finished picture is celebrated with sound and bubbles.
Fifteen pictures in a normal and a detailed variant, a free mode with
eighteen colours and undo, five interface languages (English, German,
Spanish, Russian, French); progress is kept between runs.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TINTARIA_SITE_ADDRESS}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: libGL hands the
# drawing to Mesa's GLX library, which loads a DRI driver (llvmpipe when
# there is no graphics hardware). The SDL 1.2 the game is made and tested
# with is sdl12-compat over SDL 2; the library's own symbols name classic
# SDL 1.2, which apt would pick otherwise.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libglx-mesa0, libgl1-mesa-dri, libsdl1.2-compat-shim")
# The help and settings screens' web links open in the desktop's browser.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")

include(CPack)

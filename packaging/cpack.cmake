# The Debian package: `cpack -G DEB` (or the `package` target) in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr. Its dependencies on shared libraries come from dpkg-shlibdeps.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${QEX_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Lumavox")
set(CPACK_PACKAGE_CONTACT "Lumavox <qex@lumavox.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.lumavox.example/qex")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live audio processor for radio broadcast")
# The first line of the Description is the summary above.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Lumavox QEX records a radio station's programme from a sound card, runs every
buffer through its processing module (gated two-band AGC, bass EQ, five-band
compressor/expander/limiter, look-ahead dual-band limiter, two-band soft
clipper, pre-emphasis, 19 kHz-safe output filter, AM filter) and plays the
result on a sound card.
.
The package holds the program (qex), the file renderer with its loudness
report and FM-protection self-test (qex-render), the processing module, a
systemd user unit that runs the processor without a window and an example
limits file that grants the audio group real-time priority.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's platform plug-ins (X11 and others) are only recommended by Qt; without them no window opens.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The artwork is drawn in DejaVu Sans.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")

# Files under /etc are the administrator's: dpkg keeps their edits on upgrade.
set(QEX_CONFFILES ${CMAKE_BINARY_DIR}/packaging/conffiles)
file(WRITE ${QEX_CONFFILES} "${CMAKE_INSTALL_FULL_SYSCONFDIR}/security/limits.d/${QEX_PACKAGE_NAME}.conf.example\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${QEX_CONFFILES})

include(CPack)

# The Debian packages the program needs at run time: those of the libraries that BINARIES link, as
# dpkg-shlibdeps finds them (the Debian package's dependencies are the same run over the same files), and
# PACKAGES, the ones it loads without linking. Writes OUTPUT_DIR/runtime-packages.txt (the names on one line)
# and OUTPUT_DIR/README from README_IN, where @RUNTIME_PACKAGES@ is that line and @VERSION@ the version.
#   cmake -DBINARIES=a;b -DPACKAGES=p;q -DREADME_IN=... -DOUTPUT_DIR=... -DVERSION=... -P runtime_packages.cmake

find_program(SHLIBDEPS dpkg-shlibdeps)
if(NOT SHLIBDEPS)
    message(FATAL_ERROR "dpkg-shlibdeps (package dpkg-dev) is needed to list the packages Varnex needs")
endif()

# dpkg-shlibdeps wants to run in a source package's folder.
set(work ${OUTPUT_DIR}/shlibdeps)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/debian)
file(TOUCH ${work}/debian/control)
set(arguments)
foreach(binary IN LISTS BINARIES)
    list(APPEND arguments -e${binary})
endforeach()
execute_process(COMMAND ${SHLIBDEPS} -O ${arguments}
                WORKING_DIRECTORY ${work}
                OUTPUT_VARIABLE substvars
                ERROR_VARIABLE errors
                RESULT_VARIABLE failed)
file(REMOVE_RECURSE ${work})
if(failed OR NOT substvars MATCHES "shlibs:Depends=([^\n]*)")
    message(FATAL_ERROR "dpkg-shlibdeps failed: ${errors}")
endif()

# "libc6 (>= 2.34), libx11-6, a | b" gives libc6, libx11-6 and a.
string(REPLACE ", " ";" depends "${CMAKE_MATCH_1}")
set(names)
foreach(depend IN LISTS depends)
    string(REGEX REPLACE "[ (|].*" "" name "${depend}")
    list(APPEND names ${name})
endforeach()
list(APPEND names ${PACKAGES})
list(REMOVE_DUPLICATES names)
list(SORT names)
list(JOIN names " " RUNTIME_PACKAGES)

file(WRITE ${OUTPUT_DIR}/runtime-packages.txt "${RUNTIME_PACKAGES}\n")
configure_file(${README_IN} ${OUTPUT_DIR}/README @ONLY)

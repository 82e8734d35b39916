# Installs the build BUILD into a fresh prefix under WORK and builds the C
# host (tests/installed_host, with c_host.c of SOURCE) against the installed
# lib_hbx twice, through its CMake package (find_package(hbx), hbx::hbx) and
# through its pkg-config file (`pkg-config --cflags --libs hbx`), with the C
# compiler CC, and runs both. Nothing of the source tree's include/ is used.
set(prefix ${WORK}/prefix)
set(flags -std=c11 -Wall -Wextra -pedantic -Werror)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}")
  endif()
  message(STATUS "${what}: ok")
  set(output "${out}" PARENT_SCOPE)
endfunction()

run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})

# find_package(hbx)
string(REPLACE ";" " " cflags "${flags}")
run("configuring against find_package(hbx)" ${CMAKE_COMMAND} -S ${SOURCE}/tests/installed_host -B ${WORK}/by-package
    -DCMAKE_C_COMPILER=${CC} "-DCMAKE_C_FLAGS=${cflags}" -DCMAKE_PREFIX_PATH=${prefix} -DHBX_SOURCE_DIR=${SOURCE})
run("building against find_package(hbx)" ${CMAKE_COMMAND} --build ${WORK}/by-package)
run("the host built against find_package(hbx)" ${WORK}/by-package/installed_host)
message(STATUS "${output}")

# pkg-config
set(pkg ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/lib/pkgconfig pkg-config)
run("pkg-config --cflags --libs hbx" ${pkg} --cflags --libs hbx)
separate_arguments(pkgflags UNIX_COMMAND "${output}")
run("pkg-config --variable=libdir hbx" ${pkg} --variable=libdir hbx)
string(STRIP "${output}" libdir)
run("building against pkg-config" ${CC} ${flags} -I${SOURCE} ${SOURCE}/tests/installed_host/main.c
    ${SOURCE}/tests/c_host.c ${pkgflags} -lm -o ${WORK}/by-pkg-config)
run("the host built against pkg-config" ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libdir} ${WORK}/by-pkg-config)
message(STATUS "${output}")

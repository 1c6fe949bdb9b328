# Builds and runs a C consumer against the staged install of specklecut, first through
# find_package(specklecut), then through pkg-config.
# Usage: cmake -DSTAGE=... -DLIBDIR=... -DCONSUMER=... -DWORK=... -DPKG_CONFIG=... -DCC=...
#        -P CheckPackage.cmake
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/data)

# CMake package with its imported target.
run("configuring the consumer" ${CMAKE_COMMAND} -S ${CONSUMER} -B ${WORK}/build
    -DCMAKE_PREFIX_PATH=${STAGE} -DCMAKE_C_COMPILER=${CC})
run("building the consumer" ${CMAKE_COMMAND} --build ${WORK}/build)
run("running the consumer (find_package)" ${WORK}/build/consumer ${WORK}/data)

# pkg-config file.
set(pc_env ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${STAGE}/${LIBDIR}/pkgconfig)
run("pkg-config" ${pc_env} ${PKG_CONFIG} --cflags --libs specklecut)
separate_arguments(flags UNIX_COMMAND "${run_output}")
run("pkg-config libdir" ${pc_env} ${PKG_CONFIG} --variable=libdir specklecut)
string(STRIP "${run_output}" libdir)
if(NOT EXISTS ${libdir}/libspecklecut.so)
  message(FATAL_ERROR "pkg-config's libdir ${libdir} holds no libspecklecut.so")
endif()
run("compiling with pkg-config flags" ${CC} -std=c99 -Wall -Wextra -Werror ${CONSUMER}/main.c ${flags}
    -Wl,-rpath,${libdir} -o ${WORK}/consumer-pc)
run("running the consumer (pkg-config)" ${WORK}/consumer-pc ${WORK}/data)

# Installs the build into a fresh prefix and builds the smallest host against the installed package,
# once through find_package and once through pkg-config; each host must run, load the installed
# library and find the documented defaults.
# cmake -DBUILD_DIR=... -DWORK_DIR=... -DHOST_DIR=... -DC_COMPILER=... -DGENERATOR=... -DC_FLAGS=...
#       -DPKG_CONFIG=... -DLIBDIR=... -P check_package.cmake
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "failed (${status}): ${ARGN}\n${output}")
    endif()
    set(output "${output}" PARENT_SCOPE)
endfunction()

function(expect_loaded_from_prefix)
    if(NOT output MATCHES "loaded ${prefix}/" OR NOT output MATCHES "defaults as documented")
        message(FATAL_ERROR "the host did not run on the installed library:\n${output}")
    endif()
    message(STATUS "${output}")
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file include/tarvelmond.h ${LIBDIR}/libtarvelmond.so ${LIBDIR}/cmake/tarvelmond/tarvelmondConfig.cmake
             ${LIBDIR}/cmake/tarvelmond/tarvelmondConfigVersion.cmake ${LIBDIR}/pkgconfig/tarvelmond.pc)
    if(NOT EXISTS ${prefix}/${file})
        message(FATAL_ERROR "the install lacks ${file}")
    endif()
endforeach()

# find_package: the imported target brings the header's folder and the library.
set(host_warnings "-std=c99 -Wall -Wextra -Werror")
run(${CMAKE_COMMAND} -S ${HOST_DIR} -B ${WORK_DIR}/find_package -G ${GENERATOR} -DCMAKE_C_COMPILER=${C_COMPILER}
    "-DCMAKE_C_FLAGS=${C_FLAGS} ${host_warnings}" -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/find_package)
run(${WORK_DIR}/find_package/tarvelmond_host ${prefix})
expect_loaded_from_prefix()

# pkg-config, told only where the package's .pc file lies.
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
run(${PKG_CONFIG} --cflags --libs tarvelmond)
string(STRIP "${output}" pkg_flags)
separate_arguments(pkg_flags UNIX_COMMAND "${pkg_flags}")
separate_arguments(compile_flags UNIX_COMMAND "${C_FLAGS} ${host_warnings}")
run(${C_COMPILER} ${compile_flags} ${HOST_DIR}/host.c ${pkg_flags} -o ${WORK_DIR}/pkg_config_host)
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/${LIBDIR} ${WORK_DIR}/pkg_config_host ${prefix})
expect_loaded_from_prefix()

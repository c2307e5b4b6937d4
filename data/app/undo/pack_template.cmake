# SPDX-License-Identifier: GPL-3.0-or-later
# Packs the undo template: cmake -DSOURCE_DIR=<folder> -DOUTPUT=<zip> -DZIP=<zip program> -P this
# The zip must come out byte for byte the same from every build: it is staged with fixed modes
# and times, and zipped without extra fields (no owner, no access or change times).
cmake_minimum_required(VERSION 3.25)

set(installer META-INF/com/google/android/update-binary)
set(script META-INF/com/google/android/updater-script)

# Recoveries run the installer by its #! line, which a CR breaks; and CWM and TWRP run a
# binary that contains either marker in a mode meant for their own updater.
# file(READ) drops CR bytes, so look for them (0d at a byte boundary) in the hex dump.
file(READ ${SOURCE_DIR}/${installer} hex HEX)
if(hex MATCHES "^(..)*0d")
  message(FATAL_ERROR "${SOURCE_DIR}/${installer} has CR line ends; it must keep LF only")
endif()
# "#!/sbin/sh" and LF
if(NOT hex MATCHES "^23212f7362696e2f73680a")
  message(FATAL_ERROR "${SOURCE_DIR}/${installer} must start with #!/sbin/sh")
endif()
file(READ ${SOURCE_DIR}/${installer} text)
foreach(marker set_perm_ ANDROID_PROPERTY_WORKSPACE)
  string(FIND "${text}" "${marker}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${SOURCE_DIR}/${installer} must not contain ${marker}")
  endif()
endforeach()

set(stage ${OUTPUT}.stage)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage}/META-INF/com/google/android)
file(COPY_FILE ${SOURCE_DIR}/${installer} ${stage}/${installer})
file(COPY_FILE ${SOURCE_DIR}/${script} ${stage}/${script})
file(CHMOD ${stage}/${installer} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(CHMOD ${stage}/${script} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC touch -t 202001010000.00 ${installer}
                        ${script}
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not set the time of the staged undo template files")
endif()

file(REMOVE ${OUTPUT}.tmp)
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${ZIP} -q -X -D -9 ${OUTPUT}.tmp
                        ${installer} ${script}
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${ZIP} could not write ${OUTPUT}.tmp")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
file(REMOVE_RECURSE ${stage})

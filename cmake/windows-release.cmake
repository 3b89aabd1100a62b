# Finishes the Windows folder (cmake -P, run by the target windows_folder):
# strips every binary in it of its symbols, then packs the folder into the
# zip a Windows user downloads. Arguments: -DFOLDER=<deploy folder>
# -DSTRIP=<mingw strip> -DZIP=<zip file to write>.
foreach(arg FOLDER STRIP ZIP)
  if(NOT DEFINED ${arg})
    message(FATAL_ERROR "windows-release.cmake needs -D${arg}=...")
  endif()
endforeach()

file(GLOB_RECURSE binaries ${FOLDER}/*.exe ${FOLDER}/*.dll)
foreach(binary ${binaries})
  execute_process(COMMAND ${STRIP} --strip-all ${binary} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "Stripping ${binary} failed")
  endif()
endforeach()

# The folder's contents at the top of the zip: Explorer's "Extract all"
# puts them in a folder named after the zip.
file(GLOB entries RELATIVE ${FOLDER} ${FOLDER}/*)
list(SORT entries)
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip -- ${entries}
                WORKING_DIRECTORY ${FOLDER} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "Packing ${ZIP} failed")
endif()

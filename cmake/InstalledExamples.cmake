# The example configurations as they are installed: the KiwiSDR examples
# name their recording by its place beside the source tree and tell how to
# run them there; installed, they name the recording alone, to be found in
# the directory velkor runs in, and the station table by its installed place.
function(velkor_installed_examples source_dir out_dir)
  file(GLOB examples "${source_dir}/*")
  foreach(example ${examples})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${example}")
    get_filename_component(name "${example}" NAME)
    file(READ "${example}" text)
    string(REGEX REPLACE "wav = [^ \n]*/([^/ \n]+\\.wav)" "wav = \\1" text "${text}")
    string(REGEX REPLACE "; Run it from the data directory[^[]*\n\n"
      "; Run it in a directory that holds the station table table.txt (installed\n; as share/velkor/table.txt) and the recording, or change the wav line below\n; to where your copy lies (relative to that directory, or an absolute path):\n;\n;     velkor ${name}\n\n"
      text "${text}")
    string(REPLACE "data/table.txt of the source tree" "installed as share/velkor/table.txt" text "${text}")
    string(REGEX REPLACE "The two KiwiSDR examples are run from[^|]*elsewhere\\."
      "Installed, the two KiwiSDR examples name their recording alone: run them\nin a directory that holds `table.txt` and the recording, or change their\n`wav` line to where your copy lies."
      text "${text}")
    file(WRITE "${out_dir}/${name}" "${text}")
  endforeach()
endfunction()

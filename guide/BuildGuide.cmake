# Builds the pilot's guide: flies the example ascent through kestrel-host,
# takes its display snapshot and charts its records with kestrel-records,
# puts in the numbers the guide states, then has pandoc make one
# self-contained HTML file with the pictures embedded. The same pandoc step
# makes the flight-file reference, flight-files.html beside the guide, from
# kestrel-host/README.md's sections "The flight file" and "Outputs", so that
# a pilot with the package alone can write a flight. Run by the `guide`
# target:
#   cmake -DHOST=... -DMODULE=... -DRECORDS=... -DFACTS=... -DPANDOC=...
#         -DSOURCE_DIR=... -DWORK=... -DOUTPUT=... -DFLIGHT_FILES=... -P BuildGuide.cmake
#
# In the guide's text, @NAME@ stands for a number or text given by
# kestrel-guide-facts (FACTS: the module's and kestrel-host's constants) or
# package/Example.cmake (EXAMPLE_COMMAND, EXAMPLE_DATA_FILE). A name that
# neither gives stops the build.
foreach(variable HOST MODULE RECORDS FACTS PANDOC SOURCE_DIR WORK OUTPUT FLIGHT_FILES)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "BuildGuide.cmake: ${variable} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "guide: ${ARGN} failed (${result}):\n${errors}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
run(${HOST} run ${SOURCE_DIR}/examples/ascent/flight.json --root ${WORK}/flight --module ${MODULE})
file(GLOB records ${WORK}/flight/KestrelScribeData/*.txt)
if(NOT records)
  message(FATAL_ERROR "guide: the example flight left no data file")
endif()
list(SORT records)
file(COPY_FILE ${WORK}/flight/left-display.svg ${WORK}/display.svg)
run(${RECORDS} plot ${records} -o ${WORK}/pitch.svg)

# The guide's numbers and the example's command.
execute_process(COMMAND ${FACTS} RESULT_VARIABLE result OUTPUT_VARIABLE facts)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "guide: ${FACTS} failed (${result})")
endif()
string(REGEX MATCHALL "[A-Z_]+=[^\n]*" facts "${facts}")
foreach(fact IN LISTS facts)
  string(REGEX REPLACE "=.*" "" name "${fact}")
  string(REGEX REPLACE "^[A-Z_]+=" "" value "${fact}")
  set(fact_${name} "${value}")
endforeach()
include(${SOURCE_DIR}/package/Example.cmake)
set(fact_EXAMPLE_COMMAND "${KESTREL_EXAMPLE_COMMAND}")
set(fact_EXAMPLE_DATA_FILE "${KESTREL_EXAMPLE_DATA_FILE}")

# What kestrel-records says about the example's data file, as the guide
# shows it: an indented block, the file named as the command names it.
string(REPLACE "\\" "/" example_data "${KESTREL_EXAMPLE_DATA_FILE}")
if(NOT EXISTS ${WORK}/${example_data})
  message(FATAL_ERROR "guide: the example flight left no ${example_data} (package/Example.cmake names it)")
endif()
file(STRINGS ${WORK}/${example_data} example_lines)
list(LENGTH example_lines fact_EXAMPLE_LINES)
function(records_output name)
  execute_process(COMMAND ${RECORDS} ${ARGN} WORKING_DIRECTORY ${WORK}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "guide: kestrel-records ${ARGN} failed (${result}):\n${errors}")
  endif()
  string(REPLACE "\r" "" output "${output}")
  string(REPLACE "${example_data}" "${KESTREL_EXAMPLE_DATA_FILE}" output "${output}")
  string(STRIP "${output}" output)
  string(REPLACE "\n" "\n    " output "    ${output}")
  set(fact_${name} "${output}" PARENT_SCOPE)
endfunction()
records_output(EXAMPLE_CHECK check ${example_data})
records_output(EXAMPLE_EXPORT export ${example_data})
# The export's heading and first two rows.
string(REGEX MATCH "^[^\n]*\n[^\n]*\n[^\n]*" fact_EXAMPLE_EXPORT "${fact_EXAMPLE_EXPORT}")

file(READ ${SOURCE_DIR}/guide/KestrelScribeMFD.md text)
string(REGEX MATCHALL "@[A-Z_]+@" placeholders "${text}")
list(REMOVE_DUPLICATES placeholders)
foreach(placeholder IN LISTS placeholders)
  string(REPLACE "@" "" name "${placeholder}")
  if(NOT DEFINED fact_${name})
    message(FATAL_ERROR "guide: KestrelScribeMFD.md says ${placeholder}, which neither kestrel-guide-facts nor package/Example.cmake gives")
  endif()
  string(REPLACE "${placeholder}" "${fact_${name}}" text "${text}")
endforeach()
file(WRITE ${WORK}/KestrelScribeMFD.md "${text}")

# Fixed metadata only (no date), so the same sources give the same bytes.
run(${PANDOC} ${WORK}/KestrelScribeMFD.md
    --standalone --self-contained --toc --toc-depth=2
    --css ${SOURCE_DIR}/guide/guide.css
    --resource-path ${WORK}
    --metadata "pagetitle=KestrelScribeMFD ${fact_VERSION}: pilot's guide"
    -o ${OUTPUT})

# The flight-file reference: the README's part from "## The flight file"
# through "## Outputs", up to the section after it, read as GitHub shows it.
file(READ ${SOURCE_DIR}/kestrel-host/README.md readme)
string(FIND "${readme}" "\n## The flight file\n" start)
string(FIND "${readme}" "\n## Outputs\n" outputs)
if(start EQUAL -1 OR outputs LESS start)
  message(FATAL_ERROR "guide: kestrel-host/README.md has no section \"The flight file\" followed by \"Outputs\" for flight-files.html")
endif()
math(EXPR start "${start} + 1")
math(EXPR after "${outputs} + 1")
string(SUBSTRING "${readme}" ${after} -1 rest)
string(FIND "${rest}" "\n## " next)
if(next EQUAL -1)
  set(length -1)
else()
  math(EXPR length "${after} + ${next} + 1 - ${start}")
endif()
string(SUBSTRING "${readme}" ${start} ${length} reference)
file(WRITE ${WORK}/flight-files.md "\
A flight file is the JSON file `kestrel-host run` plays (`kestrel-host.exe run FLIGHT.json --root FOLDER`): \
its vessels with their pitch tables, the simulation's steps, and the events that open displays, \
press buttons and keys, answer input boxes, save and load scenarios and take snapshots. \
The example flight `examples\\ascent\\flight.json` is one. \
Below: each key and event, and what the host writes.\n\n\
${reference}")
run(${PANDOC} ${WORK}/flight-files.md -f gfm
    --standalone --self-contained --toc --toc-depth=2
    --css ${SOURCE_DIR}/guide/guide.css
    --metadata "title=kestrel-host ${fact_VERSION}: flight files"
    --metadata "pagetitle=kestrel-host ${fact_VERSION}: flight files"
    -o ${FLIGHT_FILES})

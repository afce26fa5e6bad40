# Builds the pilot's guide: flies the example ascent through kestrel-host,
# takes its display snapshot and charts its records with kestrel-records,
# then has pandoc make one self-contained HTML file with the pictures
# embedded. Run by the `guide` target:
#   cmake -DHOST=... -DMODULE=... -DRECORDS=... -DPANDOC=... -DSOURCE_DIR=...
#         -DWORK=... -DOUTPUT=... -P BuildGuide.cmake
foreach(variable HOST MODULE RECORDS PANDOC SOURCE_DIR WORK OUTPUT)
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
# Fixed metadata only (no date), so the same sources give the same bytes.
run(${PANDOC} ${SOURCE_DIR}/guide/KestrelScribeMFD.md
    --standalone --self-contained --toc --toc-depth=2
    --css ${SOURCE_DIR}/guide/guide.css
    --resource-path ${WORK}
    --metadata pagetitle=KestrelScribeMFD
    -o ${OUTPUT})

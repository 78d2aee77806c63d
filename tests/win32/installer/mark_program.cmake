# A copy of a program with a marker text after its end; Windows loads only
# the image the headers describe, so the copy runs as the original does.
#   cmake -DINPUT=<exe> -DOUTPUT=<exe> -DMARKER=<text> -P mark_program.cmake
file(COPY_FILE ${INPUT} ${OUTPUT})
file(APPEND ${OUTPUT} "${MARKER}")

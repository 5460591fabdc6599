# vrel_program(TARGET SOURCES ...): an executable of the suite or of the machine, built into
# build/bin.
function(vrel_program target)
    add_executable(${target} ${ARGN})
endfunction()

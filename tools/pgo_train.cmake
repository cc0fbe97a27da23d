# cmake -DBINARY_DIR=... -DTRAINING_DIR=... -DSOURCE_DIR=... -P pgo_train.cmake
#
# The training run of a profile-guided build: runs the instrumented assembler of the nested
# build in TRAINING_DIR on a generated program and on the example, then copies the profile
# it wrote beside its objects to the same place in BINARY_DIR, where the release objects
# of the same names look for it.
set(work ${BINARY_DIR}/pgo)
set(objects xexasm_core.dir xexasm.dir)

# Counts add up across runs: start from none.
foreach(dir ${objects})
  file(GLOB_RECURSE old ${TRAINING_DIR}/CMakeFiles/${dir}/*.gcda)
  if(old)
    file(REMOVE ${old})
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${work} RESULT_VARIABLE status
                  OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "training run failed (${status}): ${ARGN}\n${errors}")
  endif()
endfunction()

# The generator is instrumented too; what it counts goes elsewhere.
run(${CMAKE_COMMAND} -E env GCOV_PREFIX=${work}/generator ${TRAINING_DIR}/training_program
    ${work}/training.asm)
# The default run (every fast mechanism) on a large program, and a small one.
run(${TRAINING_DIR}/xexasm -o ${work}/training.xex ${work}/training.asm)
run(${TRAINING_DIR}/xexasm --names=${SOURCE_DIR}/share/xexasm/atari.names -o ${work}/hello.xex
    ${SOURCE_DIR}/examples/hello.asm)

foreach(dir ${objects})
  file(GLOB_RECURSE profiles RELATIVE ${TRAINING_DIR}/CMakeFiles/${dir} ${TRAINING_DIR}/CMakeFiles/${dir}/*.gcda)
  if(NOT profiles)
    message(FATAL_ERROR "the training run wrote no profile under CMakeFiles/${dir}")
  endif()
  foreach(p ${profiles})
    configure_file(${TRAINING_DIR}/CMakeFiles/${dir}/${p} ${BINARY_DIR}/CMakeFiles/${dir}/${p} COPYONLY)
  endforeach()
endforeach()
file(TOUCH ${work}/profile.stamp)

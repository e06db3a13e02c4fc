# Every folder collects its sources by glob, so adding a file needs no edit here.
function(tessel_glob out dir)
  file(GLOB_RECURSE found CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_SOURCE_DIR}/${dir}/*.c)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(tessel_optional_subdirectory dir)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endfunction()

# The library's folders add their sources to one list; tessel_library() then
# makes the static library `tessel` of all of them.
set_property(GLOBAL PROPERTY TESSEL_SOURCES "")
set_property(GLOBAL PROPERTY TESSEL_LINKS "")

function(tessel_add_folder dir)
  tessel_glob(src ${dir})
  set_property(GLOBAL APPEND PROPERTY TESSEL_SOURCES ${src})
endfunction()

function(tessel_add_links)
  set_property(GLOBAL APPEND PROPERTY TESSEL_LINKS ${ARGN})
endfunction()

function(tessel_library)
  get_property(src GLOBAL PROPERTY TESSEL_SOURCES)
  get_property(links GLOBAL PROPERTY TESSEL_LINKS)
  # The library's objects are compiled once and archived twice: into `tessel`
  # with the built-in shader pack, and into `tesselbootstrap` without it, which
  # the shader generator links (the pack cannot be made by a program that
  # needs it).
  add_library(tesselobjects OBJECT ${src})
  target_include_directories(tesselobjects PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(tesselobjects PUBLIC platform ${links})
  tessel_cp932(tesselobjects)
  tessel_shader_generator()
  add_library(tessel STATIC $<TARGET_OBJECTS:tesselobjects> ${TESSEL_SHADER_PACK_SOURCE})
  add_library(Tessel::tessel ALIAS tessel)
  target_include_directories(tessel PUBLIC $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}>)
  target_link_libraries(tessel PUBLIC platform ${links})
  tessel_cp932(tessel)
endfunction()

# The shader generator (tools/shadergen) and the source it writes, which
# holds the built-in shader pack; sets TESSEL_SHADER_PACK_SOURCE.
macro(tessel_shader_generator)
  add_library(tesselbootstrap STATIC $<TARGET_OBJECTS:tesselobjects>
              ${CMAKE_SOURCE_DIR}/tools/shadergen/no_shader_pack.cpp)
  target_link_libraries(tesselbootstrap PUBLIC platform ${links})
  target_include_directories(tesselbootstrap PUBLIC ${CMAKE_SOURCE_DIR})
  # The generator's shaders, linked by the generator and by the tests (the
  # encoders it packs with come from tesseltools there).
  add_library(tesselshadergen STATIC ${CMAKE_SOURCE_DIR}/tools/shadergen/shader_generator.cpp
              ${CMAKE_SOURCE_DIR}/tools/shadergen/toon_shaders.cpp)
  target_include_directories(tesselshadergen PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(tesselshadergen PUBLIC platform)
  add_executable(makeshaderpack ${CMAKE_SOURCE_DIR}/tools/shadergen/main.cpp
                 ${CMAKE_SOURCE_DIR}/tools/lib/lz_compress.cpp
                 ${CMAKE_SOURCE_DIR}/tools/lib/archive_pack.cpp)
  target_link_libraries(makeshaderpack PRIVATE tesselshadergen tesselbootstrap)
  if(TESSEL_FUZZ AND TESSEL_FUZZ_ENGINE STREQUAL "persistent")
    target_sources(makeshaderpack PRIVATE ${CMAKE_SOURCE_DIR}/tools/shadergen/no_coverage.cpp)
  endif()
  tessel_cp932(makeshaderpack)
  set(TESSEL_SHADER_PACK_SOURCE ${CMAKE_BINARY_DIR}/generated/shader_pack_data.cpp)
  add_custom_command(
    OUTPUT ${TESSEL_SHADER_PACK_SOURCE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
    COMMAND makeshaderpack ${TESSEL_SHADER_PACK_SOURCE}
    DEPENDS makeshaderpack
    COMMENT "Making the built-in shader pack"
    VERBATIM)
endmacro()

# One GoogleTest program per test folder (tests/<folder>/), discovered by CTest.
function(tessel_test_folder dir)
  tessel_glob(src tests/${dir})
  if(NOT src)
    return()
  endif()
  string(REPLACE "/" "_" name ${dir})
  add_executable(test_${name} ${src} ${CMAKE_SOURCE_DIR}/tests/support/test_environment.cpp)
  target_compile_definitions(test_${name} PRIVATE TESSEL_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
  target_link_libraries(test_${name} PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(test_${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  tessel_cp932(test_${name})
  gtest_discover_tests(test_${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES ENVIRONMENT SDL_VIDEODRIVER=dummy
    DISCOVERY_TIMEOUT 60)
endfunction()

# vrel_program(TARGET [DESCRIPTION text PRODUCT text] SOURCES...): an executable of the suite
# or of the machine, built into build/bin. With DESCRIPTION and PRODUCT the program carries
# a version block (FileDescription and ProductName; the project's version as FileVersion
# and ProductVersion), made by the resource compiler verrc.
function(vrel_program target)
    cmake_parse_arguments(P "" "DESCRIPTION;PRODUCT" "" ${ARGN})
    add_executable(${target} ${P_UNPARSED_ARGUMENTS})
    # Every program may be the first to use a new machine.
    target_link_libraries(${target} PRIVATE platform_machine)
    if(DEFINED P_DESCRIPTION)
        set(block ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.cpp)
        add_custom_command(OUTPUT ${block}
            COMMAND verrc ${block}
                "CompanyName=Tavimere"
                "FileDescription=${P_DESCRIPTION}"
                "FileVersion=${PROJECT_VERSION}"
                "InternalName=${target}"
                "LegalCopyright=Copyright (C) Tavimere"
                "LegalTrademarks=Vrel is a trademark of Tavimere"
                "OriginalFilename=${target}.exe"
                "ProductName=${P_PRODUCT}"
                "ProductVersion=${PROJECT_VERSION}"
                "Comments="
            DEPENDS verrc
            COMMENT "Version block of ${target}"
            VERBATIM)
        target_sources(${target} PRIVATE ${block})
    endif()
endfunction()

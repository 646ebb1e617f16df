# Addresses that depend on who ships the build: the product's web site, ways to
# reach its makers, the help page and the update feed. Empty by default; the
# interface hides what has no address. One header, appaddresses.h, carries them.
set(ROUTEREEL_WEBSITE_NAME "" CACHE STRING "Name of the product's web site, shown on the toolbar")
set(ROUTEREEL_WEBSITE_URL "" CACHE STRING "Address of the product's web page")
set(ROUTEREEL_FEEDBACK_EMAIL "" CACHE STRING "E-mail address for feedback")
set(ROUTEREEL_SOCIAL_HANDLE "" CACHE STRING "The makers' social-network handle")
set(ROUTEREEL_SOCIAL_PROFILE_URL "" CACHE STRING "The makers' social-network profile page")
set(ROUTEREEL_CHAT_INVITATION_URL "" CACHE STRING "Invitation link of the makers' chat group")
set(ROUTEREEL_HELP_URL "" CACHE STRING "Address of the help pages")
set(ROUTEREEL_UPDATE_FEED_URL "" CACHE STRING "Base address of the update feed (answers /api/version)")
set(ROUTEREEL_MAPBOX_TOKEN_HELP_URL "https://docs.mapbox.com/help/getting-started/access-tokens/"
    CACHE STRING "The map vendor's help page on access tokens")

function(routereel_c_string out value)
  string(REPLACE "\\" "\\\\" value "${value}")
  string(REPLACE "\"" "\\\"" value "${value}")
  string(REPLACE "\n" "\\n" value "${value}")
  set(${out} "\"${value}\"" PARENT_SCOPE)
endfunction()

foreach(name WEBSITE_NAME WEBSITE_URL FEEDBACK_EMAIL SOCIAL_HANDLE SOCIAL_PROFILE_URL CHAT_INVITATION_URL
             HELP_URL UPDATE_FEED_URL MAPBOX_TOKEN_HELP_URL)
  routereel_c_string(ROUTEREEL_${name}_LITERAL "${ROUTEREEL_${name}}")
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/appaddresses.h.in ${CMAKE_BINARY_DIR}/generated/appaddresses.h @ONLY)

add_library(routereel_addresses INTERFACE)
target_include_directories(routereel_addresses INTERFACE ${CMAKE_BINARY_DIR}/generated)

# Addresses the application links to, set when building (all empty by default):
#   cmake -DROUTEREEL_WEBSITE_URL=https://example.org ...
# A menu item or link whose address is empty is hidden; an empty update server
# address turns the update check off. They reach the code as one generated
# header, appaddresses.h (target routereel_addresses).
set(ROUTEREEL_WEBSITE_URL "" CACHE STRING "Product web site (About, links)")
set(ROUTEREEL_FEEDBACK_EMAIL "" CACHE STRING "Address that feedback is sent to")
set(ROUTEREEL_SOCIAL_HANDLE "" CACHE STRING "The author's social handle, without the at-sign")
set(ROUTEREEL_SOCIAL_PROFILE_URL "" CACHE STRING "The author's social profile page")
set(ROUTEREEL_CHAT_INVITATION_URL "" CACHE STRING "Invitation to the community chat")
set(ROUTEREEL_HELP_URL "" CACHE STRING "Help page opened by the Help menu")
set(ROUTEREEL_UPDATE_FEED_URL "" CACHE STRING
    "Update server base address (https://host); the check asks <base>/api/version")

# As C string literals.
foreach(name WEBSITE_URL FEEDBACK_EMAIL SOCIAL_HANDLE SOCIAL_PROFILE_URL CHAT_INVITATION_URL HELP_URL UPDATE_FEED_URL)
  string(REPLACE "\\" "\\\\" text "${ROUTEREEL_${name}}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(ROUTEREEL_${name}_LITERAL "${text}")
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/appaddresses.h.in ${CMAKE_BINARY_DIR}/generated/appaddresses.h @ONLY)
add_library(routereel_addresses INTERFACE)
target_include_directories(routereel_addresses INTERFACE ${CMAKE_BINARY_DIR}/generated)

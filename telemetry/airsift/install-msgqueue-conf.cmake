# Run by `cmake --install`: puts the message queue limits where the device's
# init reads them. The prefix is the one in effect now, so a prefix given at
# install time (--prefix X) keeps the file beneath X.
#   - an absolute configuration folder named by the build, with the build's
#     own prefix: that folder;
#   - the prefix / or /usr: /etc, where GNUInstallDirs puts their
#     configuration;
#   - any other prefix: <prefix>/<configuration folder>.
# Set by the install rule: AIRSIFT_MSGQUEUE_CONF, AIRSIFT_BUILD_PREFIX,
# AIRSIFT_SYSCONFDIR.
if(IS_ABSOLUTE "${AIRSIFT_SYSCONFDIR}" AND CMAKE_INSTALL_PREFIX STREQUAL AIRSIFT_BUILD_PREFIX)
  set(sysconfdir "${AIRSIFT_SYSCONFDIR}")
elseif(CMAKE_INSTALL_PREFIX MATCHES "^/(usr)?/*$")
  set(sysconfdir /etc)
else()
  string(REGEX REPLACE "^/+" "" relative "${AIRSIFT_SYSCONFDIR}")
  set(sysconfdir "${CMAKE_INSTALL_PREFIX}/${relative}")
endif()
file(INSTALL "${AIRSIFT_MSGQUEUE_CONF}" DESTINATION "${sysconfdir}/sysctl.d"
     RENAME 60-airsift-msgqueue.conf)

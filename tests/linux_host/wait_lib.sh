# Shared by the test scripts (sourced): how long they wait for an event they
# need. Enough for a cold start (empty font and icon caches, a WebKit process
# to start) on a machine whose every core is busy; only a failing test waits
# that long.
harvel_wait=60                   # seconds
harvel_polls=$((harvel_wait * 20))  # checks 0.05 s apart

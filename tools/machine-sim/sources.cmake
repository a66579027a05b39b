# grittor-sim

# Sources of this area are added by target_sources(grittor_core|grittor_gui ...).

"""Start-up cost: a script with nothing to do."""

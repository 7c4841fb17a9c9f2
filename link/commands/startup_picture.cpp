// written by its owner

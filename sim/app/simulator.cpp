int placeholder_simulator;

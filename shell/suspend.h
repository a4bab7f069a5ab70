#ifndef VELMOT_SHELL_SUSPEND_H
#define VELMOT_SHELL_SUSPEND_H

// Asks the device to suspend, as a press of its power button would, and returns at once.
void SuspendDevice();

#endif

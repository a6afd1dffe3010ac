#pragma once

// Registers the resources compiled into the GUI library (a static library drops them otherwise).
void initGuiResources();

#pragma once

// Gives the test process its own empty settings, data and cache folders, so
// tests never see the user's files and can run in parallel.
void setUpIsolatedTestEnvironment();

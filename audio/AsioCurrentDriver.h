#pragma once

// The process-wide current driver as the driver list sets and clears it (AsioHost.cpp).

class AsioDriverList;
class IASIO;

void asioSetCurrentDriver(IASIO* driver, AsioDriverList* list);
void asioClearCurrentDriver();
// Called before a list releases a driver object: a released object is never current.
void asioForgetDriver(const IASIO* driver);

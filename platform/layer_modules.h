// The run-time modules and COM classes of the layer register themselves
// through one function that LoadLibraryA and CoCreateInstance call first.
// Calling it from there also keeps the services' object files in every
// program that loads a module, which a static registration would not.
#pragma once

namespace platform {

// Registers every module and class of the layer; runs its work once.
void RegisterLayerModules();

// One registration function per service, called by RegisterLayerModules.
void RegisterD3D9Module();
void RegisterDirectDrawClass();
void RegisterDirectInputClasses();
void RegisterDirectSoundModule();
void RegisterDirectShowClasses();

}  // namespace platform

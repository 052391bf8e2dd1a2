// The root object class. Its initialiser yields an object on every real
// machine; the simulated one can be told to make it yield none, so that what a
// class does after a failed base initialisation can be tried.
#pragma once

class NSObject {
  protected:
    // [super init]: false when the root object's initialisation yields nothing.
    static bool initRootObject();
};

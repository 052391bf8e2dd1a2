#include "Foundation/NSObject.h"

#include "machine/Machine.h"

bool NSObject::initRootObject() {
    return platform::Machine::current().rootObjectInitialises();
}

#include "Foundation/NSObject.h"

#include "Machine.h"

bool NSObject::initRootObject() {
    return platform::Machine::current().rootObjectInitialises();
}

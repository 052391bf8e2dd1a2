#include "CoreFoundation/CFDictionary.h"

#include "machine/Machine.h"

Boolean CFDictionaryGetValueIfPresent(const CFDictionaryRef& theDict, const std::string& key,
                                      const PlistValue** value) {
    platform::Machine::current().recordCall("CFDictionaryGetValueIfPresent(" + key + ")");
    if (!theDict)
        return false;
    auto it = theDict->find(key);
    if (it == theDict->end())
        return false;
    if (value)
        *value = &it->second;
    return true;
}

void CFRelease(CFDictionaryRef& cf) {
    platform::Machine::current().recordCall("CFRelease(dictionary)");
    cf.reset();
}

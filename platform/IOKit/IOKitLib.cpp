#include "IOKit/IOKitLib.h"

#include <functional>
#include <map>
#include <vector>

#include "IOKit/IOAVService.h"
#include "IOKit/IOKitInternal.h"
#include "machine/AVServiceBackend.h"
#include "machine/DisplayBackend.h"
#include "machine/LightSensorBackend.h"
#include "machine/Machine.h"

const mach_port_t kIOMainPortDefault = 0;
const mach_port_t kIOMasterPortDefault = 1;

mach_port_t mach_task_self() {
    return 0x103;
}

namespace {

struct Iterator {
    std::vector<io_service_t> services;
    size_t next = 0;
};

// Iterator handles live in their own range, far from the back-ends' service handles.
constexpr io_iterator_t kFirstIteratorHandle = 0x40000000;

std::map<io_iterator_t, Iterator>& iterators() {
    static std::map<io_iterator_t, Iterator> table;
    return table;
}

std::map<io_object_t, std::function<void()>>& releaseHandlers() {
    static std::map<io_object_t, std::function<void()>> table;
    return table;
}

std::string providerClass(const CFMutableDictionaryRef& matching) {
    if (!matching)
        return {};
    auto it = matching->find("IOProviderClass");
    if (it == matching->end() || !it->second.stringValue())
        return {};
    return *it->second.stringValue();
}

std::vector<io_service_t> servicesOfClass(const std::string& cls) {
    auto& m = platform::Machine::current();
    if (cls == "IODisplayConnect")
        return m.displays().displayConnectServices();
    if (cls == "AppleLMUController") {
        io_service_t s = m.lightSensor().lmuService();
        if (s)
            return {s};
    }
    if (cls == kIOAVServiceClassName)
        return m.avServices().services();
    return {};
}

}  // namespace

CFMutableDictionaryRef IOServiceMatching(const char* name) {
    auto d = std::make_shared<PlistDictionary>();
    if (name)
        (*d)["IOProviderClass"] = PlistValue::string(name);
    platform::Machine::current().recordCall(std::string("IOServiceMatching(") + (name ? name : "") +
                                            ")");
    return d;
}

kern_return_t IOServiceGetMatchingServices(mach_port_t mainPort, CFMutableDictionaryRef matching,
                                           io_iterator_t* existing) {
    auto cls = providerClass(matching);
    platform::Machine::current().recordCall("IOServiceGetMatchingServices(" +
                                            std::to_string(mainPort) + ", " + cls + ")");
    if (mainPort != kIOMainPortDefault && mainPort != kIOMasterPortDefault)
        return kIOReturnBadArgument;
    if (!matching || !existing)
        return kIOReturnBadArgument;
    *existing = platform::iokit::createIterator(servicesOfClass(cls));
    return kIOReturnSuccess;
}

io_service_t IOServiceGetMatchingService(mach_port_t mainPort, CFMutableDictionaryRef matching) {
    auto cls = providerClass(matching);
    platform::Machine::current().recordCall("IOServiceGetMatchingService(" +
                                            std::to_string(mainPort) + ", " + cls + ")");
    if (mainPort != kIOMainPortDefault && mainPort != kIOMasterPortDefault)
        return 0;
    auto services = servicesOfClass(cls);
    return services.empty() ? 0 : services.front();
}

io_object_t IOIteratorNext(io_iterator_t iterator) {
    auto it = iterators().find(iterator);
    if (it == iterators().end())
        return 0;
    auto& iter = it->second;
    return iter.next < iter.services.size() ? iter.services[iter.next++] : 0;
}

kern_return_t IOObjectRelease(io_object_t object) {
    platform::Machine::current().recordCall("IOObjectRelease(" + std::to_string(object) + ")");
    iterators().erase(object);
    auto handler = releaseHandlers().find(object);
    if (handler != releaseHandlers().end()) {
        auto released = std::move(handler->second);
        releaseHandlers().erase(handler);
        released();
    }
    return kIOReturnSuccess;
}

std::optional<PlistValue> IORegistryEntryCreateCFProperty(io_registry_entry_t entry,
                                                          const std::string& key, CFAllocatorRef,
                                                          IOOptionBits) {
    platform::Machine::current().recordCall("IORegistryEntryCreateCFProperty(" +
                                            std::to_string(entry) + ", " + key + ")");
    return platform::Machine::current().avServices().property(entry, key);
}

namespace platform::iokit {

io_iterator_t createIterator(std::vector<io_service_t> services) {
    static io_iterator_t nextHandle = kFirstIteratorHandle;
    io_iterator_t handle = nextHandle++;
    iterators()[handle] = Iterator{std::move(services), 0};
    return handle;
}

void appendToIterator(io_iterator_t iterator, const std::vector<io_service_t>& services) {
    auto it = iterators().find(iterator);
    if (it != iterators().end())
        it->second.services.insert(it->second.services.end(), services.begin(), services.end());
}

void onRelease(io_object_t object, std::function<void()> released) {
    releaseHandlers()[object] = std::move(released);
}

}  // namespace platform::iokit

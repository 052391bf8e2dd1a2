#include "support/FuseHidraw.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#ifdef DUOLUME_HAVE_FUSE3
#define FUSE_USE_VERSION 35
#include <fuse_lowlevel.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#endif

#include "support/Waiting.h"

namespace testing_support {

namespace {

std::uint32_t fieldValue(const FuseHidraw::Field& f, const std::uint8_t* payload) {
    std::uint32_t raw = 0;
    for (unsigned b = 0; b < f.bits; ++b) {
        unsigned at = f.bitOffset + b;
        raw |= static_cast<std::uint32_t>(payload[at / 8] >> (at % 8) & 1) << b;
    }
    return raw;
}

void putField(const FuseHidraw::Field& f, std::uint32_t raw, std::uint8_t* payload) {
    for (unsigned b = 0; b < f.bits; ++b) {
        unsigned at = f.bitOffset + b;
        if (raw >> b & 1)
            payload[at / 8] |= static_cast<std::uint8_t>(1u << (at % 8));
    }
}

}  // namespace

#ifdef DUOLUME_HAVE_FUSE3

struct FuseHidrawOps {
    static FuseHidraw* self(fuse_req_t req) {
        return static_cast<FuseHidraw*>(fuse_req_userdata(req));
    }

    static struct stat attributes(fuse_ino_t ino) {
        struct stat st {};
        st.st_ino = ino;
        st.st_uid = getuid();
        st.st_gid = getgid();
        if (ino == FUSE_ROOT_ID) {
            st.st_mode = S_IFDIR | 0755;
            st.st_nlink = 2;
        } else {
            st.st_mode = S_IFREG | 0660;
            st.st_nlink = 1;
        }
        return st;
    }

    static void lookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
        auto* fs = self(req);
        std::unique_lock lock(fs->mutex_);
        auto* m = parent == FUSE_ROOT_ID ? fs->byNode(name) : nullptr;
        auto* extra = parent == FUSE_ROOT_ID && !m ? fs->extraByName(name) : nullptr;
        if ((!m || !m->present) && !extra) {
            lock.unlock();
            fuse_reply_err(req, ENOENT);
            return;
        }
        fuse_entry_param e{};
        e.ino = m ? m->inode : extra->inode;
        e.attr = attributes(e.ino);
        lock.unlock();
        fuse_reply_entry(req, &e);  // no caching: an unplug shows at once
    }

    static void getattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*) {
        auto st = attributes(ino);
        fuse_reply_attr(req, &st, 0);
    }

    static void readdir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info*) {
        if (ino != FUSE_ROOT_ID) {
            fuse_reply_err(req, ENOTDIR);
            return;
        }
        auto* fs = self(req);
        std::vector<std::pair<std::string, fuse_ino_t>> entries = {{".", FUSE_ROOT_ID},
                                                                   {"..", FUSE_ROOT_ID}};
        {
            std::lock_guard lock(fs->mutex_);
            for (auto& m : fs->monitors_) {
                if (m->present)
                    entries.emplace_back(m->node, m->inode);
            }
            for (auto& n : fs->extraNodes_) {
                if (n.present)
                    entries.emplace_back(n.name, n.inode);
            }
        }
        std::vector<char> buf(size);
        size_t used = 0;
        for (size_t i = static_cast<size_t>(off); i < entries.size(); ++i) {
            auto st = attributes(entries[i].second);
            size_t n = fuse_add_direntry(req, buf.data() + used, size - used,
                                         entries[i].first.c_str(), &st, static_cast<off_t>(i + 1));
            if (n > size - used)
                break;
            used += n;
        }
        fuse_reply_buf(req, buf.data(), used);
    }

    static void open(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
        auto* fs = self(req);
        std::unique_lock lock(fs->mutex_);
        auto* m = fs->byInode(ino);
        auto* extra = fs->extraByInode(ino);
        bool ok = (m && m->present) || (extra && extra->present);
        fi->fh = fs->nextFile_++;
        if (ok && m)
            ++m->openFiles;
        lock.unlock();
        if (!ok) {
            fuse_reply_err(req, ENODEV);
            return;
        }
        fi->direct_io = 1;
        fuse_reply_open(req, fi);
    }

    // A plain write stands for a sysfs attribute's: taken whole while the
    // node is there, ENODEV once it is unplugged, as the kernel answers on an
    // open attribute of a removed device (fs/kernfs/file.c).
    // The node's own answer, after the time the device takes.
    static std::shared_ptr<FuseHidraw::Node> extraNode(FuseHidraw* fs, fuse_ino_t ino, bool* gone) {
        std::lock_guard lock(fs->mutex_);
        auto* extra = fs->extraByInode(ino);
        *gone = extra && !extra->present;
        return extra && extra->present ? extra->node : nullptr;
    }

    static void answer(FuseHidraw* fs, fuse_req_t req, const FuseHidraw::Node::Reply& r,
                       std::function<void()> success) {
        fs->replyLater(r.delaySeconds, [req, result = r.result, success = std::move(success)] {
            if (result < 0)
                fuse_reply_err(req, -result);
            else
                success();
        });
    }

    static void read(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info* fi) {
        auto* fs = self(req);
        bool gone = false;
        auto node = extraNode(fs, ino, &gone);
        if (!node) {
            fuse_reply_err(req, gone ? ENODEV : ENOSYS);
            return;
        }
        auto r = node->read(fi->fh, size, static_cast<std::uint64_t>(off));
        answer(fs, req, r, [req, data = r.data] {
            fuse_reply_buf(req, reinterpret_cast<const char*>(data.data()), data.size());
        });
    }

    static void release(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
        {
            std::lock_guard lock(self(req)->mutex_);
            if (auto* m = self(req)->byInode(ino); m && m->openFiles > 0)
                --m->openFiles;
        }
        bool gone = false;
        if (auto node = extraNode(self(req), ino, &gone))
            node->release(fi->fh);
        fuse_reply_err(req, 0);
    }

    static void write(fuse_req_t req, fuse_ino_t ino, const char* buf, size_t size, off_t,
                      fuse_file_info* fi) {
        auto* fs = self(req);
        bool gone = false;
        if (auto node = extraNode(fs, ino, &gone)) {
            auto r = node->write(fi->fh, reinterpret_cast<const std::uint8_t*>(buf), size);
            answer(fs, req, r, [req, r] { fuse_reply_write(req, static_cast<size_t>(r.result)); });
            return;
        }
        if (gone) {
            fuse_reply_err(req, ENODEV);
            return;
        }
        std::unique_lock lock(fs->mutex_);
        auto* m = fs->byInode(ino);
        bool ok = m && m->present;
        lock.unlock();
        if (ok)
            fuse_reply_write(req, size);
        else
            fuse_reply_err(req, ENODEV);
    }

    static void ioctl(fuse_req_t req, fuse_ino_t ino, unsigned int cmd, void* arg,
                      fuse_file_info* fi, unsigned flags, const void* in, size_t inSize,
                      size_t outSize) {
        if (flags & FUSE_IOCTL_COMPAT) {
            fuse_reply_err(req, ENOSYS);
            return;
        }
        auto* fs = self(req);
        bool gone = false;
        if (auto node = extraNode(fs, ino, &gone)) {
            auto r = node->ioctl(fi->fh, cmd, reinterpret_cast<unsigned long>(arg));
            answer(fs, req, r, [req, r] { fuse_reply_ioctl(req, r.result, nullptr, 0); });
            return;
        }
        if (gone) {
            fuse_reply_err(req, ENODEV);
            return;
        }
        const bool set = _IOC_NR(cmd) == _IOC_NR(HIDIOCSFEATURE(0));
        const bool get = _IOC_NR(cmd) == _IOC_NR(HIDIOCGFEATURE(0));
        if (_IOC_TYPE(cmd) != 'H' || (!set && !get)) {
            fuse_reply_err(req, ENOTTY);
            return;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(in);
        if (inSize < 1 || !bytes) {
            fuse_reply_err(req, EINVAL);
            return;
        }
        std::function<void()> unplugged;
        std::function<void(const std::string&, std::uint32_t)> observer;
        std::string node;
        std::uint32_t written = 0;
        std::vector<std::uint8_t> answer(outSize, 0);
        int result = 0;
        {
            std::lock_guard lock(fs->mutex_);
            auto* m = fs->byInode(ino);
            if (!m || !m->present) {
                result = -ENODEV;
            } else if (bytes[0] != m->field.reportID || inSize < 1 + m->field.payloadBytes) {
                result = -EPIPE;  // a report the monitor does not have
            } else if (set) {
                m->brightness = fieldValue(m->field, bytes + 1);
                m->writes.push_back(m->brightness);
                m->lastPayload.assign(bytes + 1, bytes + 1 + m->field.payloadBytes);
                node = m->node;
                written = m->brightness;
                observer = fs->writeObserver_;
                if (m->unplugAfter > 0 && --m->unplugAfter == 0) {
                    m->present = false;
                    unplugged = std::move(m->unplugged);
                }
                answer.assign(bytes, bytes + std::min(inSize, outSize));
                result = static_cast<int>(1 + m->field.payloadBytes);
            } else {
                ++m->reads;
                // The monitor answers its report as long as it is, as hidraw
                // passes on what the device sends.
                if (outSize >= 1 + m->field.payloadBytes) {
                    answer[0] = m->field.reportID;
                    putField(m->field, m->brightness, answer.data() + 1);
                }
                result = static_cast<int>(1 + m->field.payloadBytes);
            }
        }
        if (observer)
            observer(node, written);
        if (unplugged)
            unplugged();
        if (result < 0) {
            fuse_reply_err(req, -result);
        } else {
            fuse_reply_ioctl(req, result, answer.data(), answer.size());
        }
    }

    static const fuse_lowlevel_ops* table() {
        static fuse_lowlevel_ops ops = [] {
            fuse_lowlevel_ops o{};
            o.lookup = lookup;
            o.getattr = getattr;
            o.readdir = readdir;
            o.open = open;
            o.ioctl = ioctl;
            o.write = write;
            o.read = read;
            o.release = release;
            return o;
        }();
        return &ops;
    }
};

std::optional<std::string> FuseHidraw::unavailableReason() {
    int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return std::string("/dev/fuse cannot be opened: ") + std::strerror(errno);
    close(fd);
    return std::nullopt;
}

std::unique_ptr<FuseHidraw> FuseHidraw::mount(const std::string& mountPoint, std::string* why) {
    if (auto reason = unavailableReason()) {
        if (why)
            *why = *reason;
        return nullptr;
    }
    std::unique_ptr<FuseHidraw> fs(new FuseHidraw(mountPoint));
    const char* argv[] = {"virtual-hidraw",        "-o",
                          "fsname=virtual-hidraw", geteuid() == 0 ? "-o" : nullptr,
                          "allow_other",           nullptr};
    int argc = geteuid() == 0 ? 5 : 3;
    fuse_args args = FUSE_ARGS_INIT(argc, const_cast<char**>(argv));
    fs->session_ =
        fuse_session_new(&args, FuseHidrawOps::table(), sizeof(fuse_lowlevel_ops), fs.get());
    fuse_opt_free_args(&args);  // the option parser may have copied them
    if (!fs->session_) {
        if (why)
            *why = "fuse_session_new failed";
        return nullptr;
    }
    if (fuse_session_mount(fs->session_, mountPoint.c_str()) != 0) {
        if (why)
            *why = "cannot mount a FUSE file system on " + mountPoint;
        fuse_session_destroy(fs->session_);
        fs->session_ = nullptr;
        return nullptr;
    }
    fs->stopFd_ = eventfd(0, EFD_CLOEXEC);
    fs->thread_ = std::thread([raw = fs.get()] { raw->serve(); });
    fs->replier_ = std::thread([raw = fs.get()] { raw->replyDelayed(); });
    return fs;
}

void FuseHidraw::serve() {
    // A loop of our own rather than fuse_session_loop, so that stopping does
    // not wait for files the process still holds open.
    fuse_buf buf{};
    pollfd fds[2] = {{fuse_session_fd(session_), POLLIN, 0}, {stopFd_, POLLIN, 0}};
    while (!fuse_session_exited(session_)) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents)
            break;
        if (!(fds[0].revents & POLLIN)) {
            if (fds[0].revents)
                break;  // the connection went away
            continue;
        }
        int n = fuse_session_receive_buf(session_, &buf);
        if (n == -EINTR || n == -EAGAIN)
            continue;
        if (n <= 0)
            break;
        fuse_session_process_buf(session_, &buf);
    }
    free(buf.mem);
}

void FuseHidraw::replyLater(double delaySeconds, std::function<void()> reply) {
    if (delaySeconds <= 0) {
        reply();
        return;
    }
    {
        std::lock_guard lock(delayedMutex_);
        delayed_.emplace_back(steadySeconds() + delaySeconds, std::move(reply));
    }
    delayedWake_.notify_all();
}

void FuseHidraw::replyDelayed() {
    std::unique_lock lock(delayedMutex_);
    for (;;) {
        auto first = std::min_element(delayed_.begin(), delayed_.end(),
                                      [](auto& a, auto& b) { return a.first < b.first; });
        // Stopping answers what is left at once: the kernel waits for every request.
        if (first != delayed_.end() && (stopping_ || first->first <= steadySeconds())) {
            auto reply = std::move(first->second);
            delayed_.erase(first);
            lock.unlock();
            reply();
            lock.lock();
            continue;
        }
        if (stopping_)
            return;
        if (first == delayed_.end())
            delayedWake_.wait(lock);
        else
            delayedWake_.wait_for(lock,
                                  std::chrono::duration<double>(first->first - steadySeconds()));
    }
}

FuseHidraw::~FuseHidraw() {
    if (thread_.joinable()) {
        std::uint64_t one = 1;
        if (write(stopFd_, &one, sizeof one) < 0) {
        }
        thread_.join();
    }
    if (replier_.joinable()) {
        {
            std::lock_guard lock(delayedMutex_);
            stopping_ = true;
        }
        delayedWake_.notify_all();
        replier_.join();
    }
    if (session_) {
        fuse_session_unmount(session_);
        // Closing the connection makes files still open fail with ENOTCONN.
        fuse_session_destroy(session_);
    }
    if (stopFd_ >= 0)
        close(stopFd_);
}

#else  // without libfuse3

struct FuseHidrawOps {};

std::optional<std::string> FuseHidraw::unavailableReason() {
    return std::string("built without libfuse3");
}

std::unique_ptr<FuseHidraw> FuseHidraw::mount(const std::string&, std::string* why) {
    if (why)
        *why = "built without libfuse3";
    return nullptr;
}

void FuseHidraw::serve() {}
void FuseHidraw::replyLater(double, std::function<void()> reply) {
    reply();
}
void FuseHidraw::replyDelayed() {}
FuseHidraw::~FuseHidraw() = default;

#endif

FuseHidraw::Monitor* FuseHidraw::byNode(const std::string& node) {
    for (auto& m : monitors_) {
        if (m->node == node && m->present)
            return m.get();
    }
    return nullptr;
}

const FuseHidraw::Monitor* FuseHidraw::byNode(const std::string& node) const {
    // The last monitor of that name, present or not (its journal stays readable).
    const Monitor* found = nullptr;
    for (auto& m : monitors_) {
        if (m->node == node)
            found = m.get();
    }
    return found;
}

FuseHidraw::ExtraNode* FuseHidraw::extraByInode(std::uint64_t inode) {
    for (auto& n : extraNodes_) {
        if (n.inode == inode)
            return &n;
    }
    return nullptr;
}

FuseHidraw::ExtraNode* FuseHidraw::extraByName(const std::string& name) {
    for (auto& n : extraNodes_) {
        if (n.name == name && n.present)
            return &n;
    }
    return nullptr;
}

void FuseHidraw::addNode(const std::string& name, std::shared_ptr<Node> node) {
    std::lock_guard lock(mutex_);
    // Inodes of their own range, apart from the monitors'.
    extraNodes_.push_back({name, 1000 + extraNodes_.size(), true, std::move(node)});
}

void FuseHidraw::removeNode(const std::string& name) {
    std::lock_guard lock(mutex_);
    if (auto* n = extraByName(name))
        n->present = false;
}

FuseHidraw::Monitor* FuseHidraw::byInode(std::uint64_t inode) {
    for (auto& m : monitors_) {
        if (m->inode == inode)
            return m.get();
    }
    return nullptr;
}

void FuseHidraw::addMonitor(const std::string& node, std::uint16_t brightness) {
    addMonitor(node, Field{}, brightness);
}

void FuseHidraw::addMonitor(const std::string& node, const Field& field, std::uint32_t raw) {
    std::lock_guard lock(mutex_);
    auto m = std::make_unique<Monitor>();
    m->node = node;
    m->inode = monitors_.size() + 2;  // 1 is the root folder
    m->field = field;
    m->brightness = raw;
    monitors_.push_back(std::move(m));
}

void FuseHidraw::unplug(const std::string& node) {
    std::lock_guard lock(mutex_);
    if (auto* m = byNode(node))
        m->present = false;
}

void FuseHidraw::unplugAfterWrites(const std::string& node, int writes,
                                   std::function<void()> unplugged) {
    std::lock_guard lock(mutex_);
    if (auto* m = byNode(node)) {
        m->unplugAfter = writes;
        m->unplugged = std::move(unplugged);
    }
}

void FuseHidraw::onWrite(std::function<void(const std::string&, std::uint32_t)> observer) {
    std::lock_guard lock(mutex_);
    writeObserver_ = std::move(observer);
}

std::uint16_t FuseHidraw::brightness(const std::string& node) const {
    std::lock_guard lock(mutex_);
    const auto* m = byNode(node);
    return m ? static_cast<std::uint16_t>(m->brightness) : 0;
}

int FuseHidraw::openFiles(const std::string& node) const {
    std::lock_guard lock(mutex_);
    const auto* m = byNode(node);
    return m ? m->openFiles : 0;
}

void FuseHidraw::setBrightness(const std::string& node, std::uint16_t value) {
    std::lock_guard lock(mutex_);
    if (auto* m = byNode(node))
        m->brightness = value;
}

std::vector<std::uint16_t> FuseHidraw::writes(const std::string& node) const {
    auto raw = rawWrites(node);
    return {raw.begin(), raw.end()};
}

std::uint32_t FuseHidraw::rawValue(const std::string& node) const {
    std::lock_guard lock(mutex_);
    const auto* m = byNode(node);
    return m ? m->brightness : 0;
}

std::vector<std::uint32_t> FuseHidraw::rawWrites(const std::string& node) const {
    std::lock_guard lock(mutex_);
    const auto* m = byNode(node);
    return m ? m->writes : std::vector<std::uint32_t>{};
}

std::vector<std::uint8_t> FuseHidraw::lastPayload(const std::string& node) const {
    std::lock_guard lock(mutex_);
    const auto* m = byNode(node);
    return m ? m->lastPayload : std::vector<std::uint8_t>{};
}

int FuseHidraw::reads(const std::string& node) const {
    std::lock_guard lock(mutex_);
    const auto* m = byNode(node);
    return m ? m->reads : 0;
}

}  // namespace testing_support

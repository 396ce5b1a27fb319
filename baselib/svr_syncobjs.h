// Synchronisation objects of the library: the lockable interface, the
// recursive mutex every storage carries, and process-wide objects created
// once on first use.
#pragma once

#include <cstdint>

#include "baselib/svr_base.h"

namespace Solvaris {

class Lockable {
public:
    virtual void lock() = 0;
    virtual void unlock() = 0;
    virtual ~Lockable() {}
};

// A recursive mutex: the owning thread may lock again and must unlock as
// often. On Windows one critical section, allocated when the mutex is built.
class Mutex : public Lockable {
public:
    Mutex();
    ~Mutex() override;
    void lock() override;
    void unlock() override;

    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

private:
    void* m_section;
};

// Takes a lockable for the life of the guard.
class LockGuard {
public:
    explicit LockGuard(Lockable& l) : m_l(l) { m_l.lock(); }
    ~LockGuard() { m_l.unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lockable& m_l;
};

namespace _Svr_Internal_NS_ {
// Registers an object for destruction when the process exits. Objects are
// destroyed in reverse order of registration.
void registerAtExit(void (*destroy)(void*), void* object);
} // namespace _Svr_Internal_NS_

// A process-wide object of class T, built with T's default constructor by
// the first caller of instance() (every other caller waits until it is
// ready) and destroyed when the process exits; after that instance()
// returns null.
template <class T>
class ThreadSafeSingleton {
public:
    static T* instance() {
        callOnce(s_once, [] {
            T* object = new T();
            s_object = object;
            _Svr_Internal_NS_::registerAtExit([](void* p) {
                s_object = nullptr;
                delete static_cast<T*>(p);
            }, object);
        });
        return s_object;
    }

protected:
    ThreadSafeSingleton() {}
    ~ThreadSafeSingleton() {}

private:
    static inline OnceFlag s_once;
    static inline T* s_object = nullptr;
};

// The same for a counted object: the process keeps one reference until it
// exits and instance() hands out further ones.
template <class T>
class ThreadSafeSingletonReferable {
public:
    static AutoPtr<T> instance() {
        callOnce(s_once, [] {
            T* object = new T();
            object->addRef();
            s_object = object;
            _Svr_Internal_NS_::registerAtExit([](void* p) {
                s_object = nullptr;
                static_cast<T*>(p)->release();
            }, object);
        });
        return AutoPtr<T>(s_object);
    }

protected:
    ThreadSafeSingletonReferable() {}
    ~ThreadSafeSingletonReferable() {}

private:
    static inline OnceFlag s_once;
    static inline T* s_object = nullptr;
};

} // namespace Solvaris

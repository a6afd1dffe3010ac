#pragma once

// GLib's headers name struct members "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libgupnp-av/gupnp-av.h>
#include <libgupnp/gupnp.h>
#pragma pop_macro("signals")

#include <memory>

// Owns one reference of a GObject.
struct GObjectUnref
{
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template <typename T> using GObjectPointer = std::unique_ptr<T, GObjectUnref>;

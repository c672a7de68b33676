#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

// Buffers for the pictures a frame carries (waterfall ring, density image). A published picture
// is shared, never copied, by everyone who shows it; when its last holder lets go, on whatever
// thread, it comes back here to be filled again, so publishing costs no allocation and the
// buffer keeps what it held (the waterfall then refreshes only the rows that changed).
template <typename Picture>
class PicturePool {
public:
    // A picture to fill: a returned one, or a new one.
    std::shared_ptr<Picture> acquire()
    {
        std::unique_ptr<Picture> picture;
        {
            std::lock_guard lock(m_shelf->mutex);
            if (!m_shelf->free.empty()) {
                picture = std::move(m_shelf->free.back());
                m_shelf->free.pop_back();
            }
        }
        if (!picture)
            picture = std::make_unique<Picture>();
        // The shelf outlives the pool if a frame outlives it: the last holder still has a place
        // to return the picture to.
        return std::shared_ptr<Picture>(picture.release(), [shelf = m_shelf](Picture* returned) {
            std::unique_ptr<Picture> owned(returned);
            std::lock_guard lock(shelf->mutex);
            if (shelf->free.size() < kKept)
                shelf->free.push_back(std::move(owned));
        });
    }

private:
    // Enough for the picture being filled, the one the display item holds and the one the
    // renderer holds, with one to spare.
    static constexpr std::size_t kKept = 4;

    struct Shelf {
        std::mutex mutex;
        std::vector<std::unique_ptr<Picture>> free;
    };
    std::shared_ptr<Shelf> m_shelf = std::make_shared<Shelf>();
};

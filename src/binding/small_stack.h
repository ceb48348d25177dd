// SmallStack: the explicit stack of the iterative tree walks. Holds its first few entries inline
// so that shallow trees cost no heap allocation, and grows on the heap for deep ones, so the
// depth of a tree never bounds the depth of the machine stack.
#ifndef ZEK_BINDING_SMALL_STACK_H_
#define ZEK_BINDING_SMALL_STACK_H_

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace Varn {

template <class T, size_t kInline = 32>
class SmallStack {
  static_assert(std::is_trivially_copyable_v<T> && std::is_default_constructible_v<T>);

 public:
  SmallStack() = default;
  SmallStack(const SmallStack&) = delete;
  SmallStack& operator=(const SmallStack&) = delete;
  ~SmallStack() {
    if (data_ != inline_) std::free(data_);
  }

  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }
  // A wide container pushes all its container children at once, so the stack often outgrows
  // its inline part; pushes and pops stay a bounds check and a copy either way.
  void push(const T& item) {
    if (size_ == capacity_) Grow();
    data_[size_++] = item;
  }
  T pop() { return data_[--size_]; }
  T& top() { return data_[size_ - 1]; }

 private:
  // Throws std::bad_alloc with the stack unchanged.
  [[gnu::noinline]] void Grow() {
    const size_t capacity = capacity_ * 2;
    T* data = static_cast<T*>(std::malloc(capacity * sizeof(T)));
    if (data == nullptr) throw std::bad_alloc();
    std::memcpy(static_cast<void*>(data), data_, size_ * sizeof(T));
    if (data_ != inline_) std::free(data_);
    data_ = data;
    capacity_ = capacity;
  }

  T* data_ = inline_;
  size_t size_ = 0;
  size_t capacity_ = kInline;
  T inline_[kInline];
};

}  // namespace Varn

#endif  // ZEK_BINDING_SMALL_STACK_H_

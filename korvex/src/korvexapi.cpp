extern "C" {
}

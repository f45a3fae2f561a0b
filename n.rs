fn main() {
    {{{}}}
}

$mod outer {
    // A comment keeps this body apart.
    pub trait Visit {
        fn visit(&mut self) {
            loop {
                unsafe {
                    core::ptr::read_volatile(&0u8);
                }
            }
        }
    }

    pub fn closure() -> impl Fn(u32) -> u32 {
        |x| {
            x.checked_add(1)
                .unwrap_or_default()
        }
    }

    #[derive(Debug)]
    pub struct Tuple(
        u32,
        u64,
    );

    const S: &str = "line one
line two";
    pub fn é() -> String {
        format!(
            "{}, {}",
            "ü",
            '\u{e9}',
        )
    }
}
